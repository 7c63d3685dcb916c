// Tick engine, envelopes: the volume and panning envelopes, the fadeout
// of a released note, the envelope-position command Lxx and the
// instrument's automatic vibrato, advanced once per tick per channel.
#include <cmath>

#include "music/music_engine.h"

// One envelope of an instrument as the stepping sees it.
struct EnvelopeShape {
    const EnvelopePoint* points;
    int count;       // points in use, at most ENVELOPE_POINTS_READ
    int sustain;     // point index
    int loop_start;  // point index
    int loop_end;    // point index
    int type;        // ENVELOPE_ON | ENVELOPE_SUSTAIN | ENVELOPE_LOOP
};

// The channel's running state of one envelope.
struct EnvelopeClock {
    int32_t* tick;
    int32_t* point;
    int32_t* fixed;  // 16.16
    int32_t* value;  // 0..64
    int32_t* step;   // 16.16 per tick
    uint8_t* done;
};

// An XM instrument has at most 12 points; counts and indices beyond them
// come only from a damaged file and must not reach past the point table.
static int usable_points(int count) { return count < ENVELOPE_POINTS_READ ? count : ENVELOPE_POINTS_READ; }

// Envelope values span 0..64; larger ones are damage, read as 64.
static int32_t point_value(const EnvelopePoint* point)
{
    return point->y < MAX_ENVELOPE_VALUE ? (int32_t)point->y : (int32_t)MAX_ENVELOPE_VALUE;
}

// 16.16 change per tick from point p to point q. A segment whose ticks do
// not run forward has no slope, so the value holds at p.
static int32_t segment_step(const EnvelopePoint* p, const EnvelopePoint* q)
{
    if (q->x <= p->x) return 0;
    return (point_value(q) - point_value(p)) * 65536 / (q->x - p->x);
}

// At a point just reached: loop back, finish at the last point, hold at
// the sustain point while the note is held, or start the next segment.
// False when the envelope holds and its clock must not move. The loop end's
// own value is never output: the loop start takes its place at once. A
// next point at the same tick is a step: it counts as reached too, so the
// value jumps to it in this tick.
static bool reach_point(const TrackChannel* channel, const EnvelopeShape* shape, const EnvelopeClock* clock)
{
    bool loop = (shape->type & ENVELOPE_LOOP) && shape->loop_start < shape->count;
    // Each point once at most: a loop whose points all share one tick
    // would otherwise step round it for ever.
    for (int reached = 0;; ++reached) {
        int i = *clock->point;
        if (loop && i == shape->loop_end) {
            i = shape->loop_start;
            *clock->point = i;
            *clock->tick = shape->points[i].x;
        }
        const EnvelopePoint* p = &shape->points[i];
        if (i == shape->count - 1) {
            *clock->value = point_value(p);
            *clock->done = 1;
            return false;
        }
        if ((shape->type & ENVELOPE_SUSTAIN) && i == shape->sustain && !channel->key_off) {
            *clock->value = point_value(p);
            return false;
        }
        *clock->point = i + 1;
        if (p[1].x != p->x || reached >= shape->count) {
            *clock->step = segment_step(p, p + 1);
            *clock->fixed = point_value(p) * 65536;
            return true;
        }
    }
}

// One tick of one envelope. Before the clock reaches the first point's
// tick the value comes from whatever the fixed-point field holds.
static void step_shape(const TrackChannel* channel, const EnvelopeShape* shape, const EnvelopeClock* clock)
{
    int i = *clock->point;
    if (i >= 0 && i < shape->count) {
        if (shape->points[i].x == *clock->tick) {
            if (!reach_point(channel, shape, clock)) return;
        } else {
            *clock->fixed += *clock->step;
        }
    }
    *clock->value = *clock->fixed >> 16;
    *clock->tick += 1;
}

void step_envelope(TrackChannel* channel, const Instrument* instrument)
{
    if ((instrument->volume_type & ENVELOPE_ON) && !channel->volume_env_done) {
        EnvelopeShape shape = {instrument->volume_envelope, usable_points(instrument->volume_points),
                               instrument->volume_sustain,  instrument->volume_loop_start,
                               instrument->volume_loop_end, instrument->volume_type};
        EnvelopeClock clock = {&channel->volume_env_tick,  &channel->volume_env_point,
                               &channel->volume_env_fixed, &channel->volume_env_value,
                               &channel->volume_env_step,  &channel->volume_env_done};
        step_shape(channel, &shape, &clock);
        channel->update_flags |= UPDATE_VOLUME;
    }
    if ((instrument->panning_type & ENVELOPE_ON) && !channel->panning_env_done) {
        EnvelopeShape shape = {instrument->panning_envelope, usable_points(instrument->panning_points),
                               instrument->panning_sustain,  instrument->panning_loop_start,
                               instrument->panning_loop_end, instrument->panning_type};
        EnvelopeClock clock = {&channel->panning_env_tick,  &channel->panning_env_point,
                               &channel->panning_env_fixed, &channel->panning_env_value,
                               &channel->panning_env_step,  &channel->panning_env_done};
        step_shape(channel, &shape, &clock);
        channel->update_flags |= UPDATE_PANNING;
    }
}

void step_fadeout(TrackChannel* channel, const Instrument* instrument)
{
    if (!channel->key_off) return;
    channel->fadeout_volume -= instrument->fadeout;
    if (channel->fadeout_volume < 0) channel->fadeout_volume = 0;
    channel->update_flags |= UPDATE_VOLUME;
}

void set_envelope_position(TrackChannel* channel, const Instrument* instrument, int position)
{
    if (!(instrument->volume_type & ENVELOPE_ON)) return;
    int count = usable_points(instrument->volume_points);
    if (count < 2) return;
    const EnvelopePoint* points = instrument->volume_envelope;
    if (position > points[count - 1].x) {
        channel->volume_env_value = point_value(&points[count - 1]);
        channel->volume_env_done = 1;
        return;
    }
    int j = 0;
    while (j < count - 2 && position > points[j + 1].x) ++j;
    int32_t step = segment_step(&points[j], &points[j + 1]);
    int64_t fixed = (int64_t)point_value(&points[j]) * 65536 + (int64_t)(position - points[j].x) * step;
    // A position before the first point would extrapolate; keep it in range.
    if (fixed < 0) fixed = 0;
    if (fixed > MAX_ENVELOPE_VALUE * 65536) fixed = MAX_ENVELOPE_VALUE * 65536;
    channel->volume_env_done = 0;
    channel->volume_env_tick = position;
    channel->volume_env_step = step;
    channel->volume_env_point = j + 1;
    channel->volume_env_fixed = (int32_t)fixed;
    channel->volume_env_value = channel->volume_env_fixed >> 16;
}

// ---------------------------------------------------------------------------
// Auto-vibrato

int autovibrato_value(int type, int position)
{
    switch (type) {
    case 1: return position < 128 ? 64 : -64;
    case 2: return (128 - ((position + 128) & 255)) >> 1;
    case 3: return (128 - ((384 - position) & 255)) >> 1;
    default:
        // 0.024543688f is the float nearest pi/128: one period per 256 steps.
        // Types above 3 are not defined for XM and play as this sine.
        return (int)(std::sin(position * (double)0.024543688f) * 64.0);
    }
}

void do_auto_vibrato(TrackChannel* channel, const Instrument* instrument)
{
    int amount = instrument->vibrato_depth *
                 autovibrato_value(instrument->vibrato_type, channel->autovibrato_position);
    if (instrument->vibrato_sweep != 0)
        amount = channel->autovibrato_sweep_ticks * amount / instrument->vibrato_sweep;
    channel->pitch_offset += amount >> 6;
    if (channel->autovibrato_sweep_ticks < instrument->vibrato_sweep) channel->autovibrato_sweep_ticks += 1;
    channel->autovibrato_position += instrument->vibrato_rate;
    if (channel->autovibrato_position > 255) channel->autovibrato_position -= 256;
    channel->update_flags |= UPDATE_FREQUENCY;
}
