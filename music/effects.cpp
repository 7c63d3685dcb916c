// Tick engine, effects: the volume column and every effect command on the
// first tick of a row and on the ticks after it, with the shared vibrato,
// tremolo, tremor, tone portamento and arpeggio. Effects only change the
// channel and set update_flags; update_voice hands the result on.
#include <cmath>

#include "music/music_engine.h"

// ---------------------------------------------------------------------------
// Small shared steps

static int32_t clamp_volume(int32_t volume)
{
    return volume < 0 ? 0 : (volume > MAX_VOLUME ? MAX_VOLUME : volume);
}

static int32_t raise_volume(int32_t volume, int amount)
{
    return volume + amount > MAX_VOLUME ? MAX_VOLUME : volume + amount;
}

static int32_t lower_volume(int32_t volume, int amount) { return volume - amount < 0 ? 0 : volume - amount; }

// Slides keep a period inside +-PERIOD_LIMIT, far beyond what is heard
// (every such period plays at the 100 Hz floor or the mixer's ceiling).
static int32_t slide_period(int32_t period, int amount)
{
    int64_t moved = (int64_t)period + amount;
    if (moved > PERIOD_LIMIT) return PERIOD_LIMIT;
    if (moved < -PERIOD_LIMIT) return -PERIOD_LIMIT;
    return (int32_t)moved;
}

// Stores a non-zero parameter in its memory and returns what is in force.
static uint8_t remember(uint8_t* memory, int param)
{
    if (param != 0) *memory = (uint8_t)param;
    return *memory;
}

static void set_volume(TrackChannel* channel, int32_t volume)
{
    channel->volume = volume;
    channel->update_flags |= UPDATE_VOLUME;
}

static void set_panning(TrackChannel* channel, int32_t panning)
{
    channel->panning = panning;
    channel->update_flags |= UPDATE_PANNING;
}

// The slides of Axy, Hxy and Pxy: up by the high nibble, at most to
// `high`, else down by the low one, not below `low`; a parameter with both
// nibbles only slides up. Sliding up from above `high` (a Cxx volume over
// 64) lands on `high`; sliding down from there is not clamped.
static int32_t nibble_slide(int32_t value, int memory, int32_t low, int32_t high)
{
    if (memory >> 4) return value + (memory >> 4) > high ? high : value + (memory >> 4);
    return value - (memory & 0x0F) < low ? low : value - (memory & 0x0F);
}

// Axy, 5xy and 6xy on later ticks.
static void volume_slide(TrackChannel* channel)
{
    set_volume(channel, nibble_slide(channel->volume, channel->volume_slide_memory, 0, MAX_VOLUME));
}

static void advance_vibrato(TrackChannel* channel)
{
    int position = channel->vibrato_position + channel->vibrato_speed;
    if (position > 31) position -= 64;
    channel->vibrato_position = (int8_t)position;
}

// ---------------------------------------------------------------------------
// Waveform procedures

int vibrato_amplitude(int position, int shape)
{
    switch (shape & 3) {
    case 1: return position >= 0 ? 8 * position : 255 - ((8 * position) & 255);
    case 2: return 255;
    default: {
        // 0.049087375 is a little under pi/64: |sin| peaks at 255, not 256.
        double s = std::fabs(std::sin(2.0 * position * 0.049087375));
        return (int)(s * 256.0);
    }
    }
}

void do_vibrato(TrackChannel* channel)
{
    int position = channel->vibrato_position;
    int shape = channel->waveforms & 0x0F;
    if ((shape & 3) == 3) shape = 2;  // vibrato shape 3 is a square
    int depth = ((channel->vibrato_depth * vibrato_amplitude(position, shape)) >> 5) & ~3;
    channel->pitch_offset = position < 0 ? depth : -depth;
    channel->update_flags |= UPDATE_FREQUENCY;
}

void do_tremolo(TrackChannel* channel)
{
    int position = channel->tremolo_position;
    int shape = channel->waveforms >> 4;
    if ((shape & 3) == 3) shape = 0;  // tremolo shape 3 is a sine
    int offset = (channel->tremolo_depth * vibrato_amplitude(position, shape)) >> 6;
    if (position >= 0) {
        if (channel->volume + offset > MAX_VOLUME) offset = MAX_VOLUME - channel->volume;
        channel->volume_offset = offset;
    } else {
        if (channel->volume - offset < 0) offset = channel->volume;
        channel->volume_offset = -offset;
    }
    position += channel->tremolo_speed;
    if (position > 31) position -= 64;
    channel->tremolo_position = (int8_t)position;
    channel->update_flags |= UPDATE_VOLUME;
}

void do_tremor(TrackChannel* channel)
{
    if (channel->tremor_position >= channel->tremor_on_ticks) channel->volume_offset = -channel->volume;
    channel->tremor_position += 1;
    // A cycle shortened by a new Txy mid-way restarts rather than wrapping.
    if (channel->tremor_position >= channel->tremor_on_ticks + channel->tremor_off_ticks)
        channel->tremor_position = 0;
    channel->update_flags |= UPDATE_VOLUME;
}

void do_tone_portamento(TrackChannel* channel)
{
    int step = 4 * channel->porta_speed;
    if (channel->period < channel->porta_target) {
        channel->period += step;
        if (channel->period > channel->porta_target) channel->period = channel->porta_target;
    } else if (channel->period > channel->porta_target) {
        channel->period -= step;
        if (channel->period < channel->porta_target) channel->period = channel->porta_target;
    }
    channel->update_flags |= UPDATE_FREQUENCY;
}

void do_arpeggio(const Song* song, TrackChannel* channel, int param, const Sample* sample)
{
    int third = song->tick % 3;
    int interval = third == 1 ? param >> 4 : (third == 2 ? param & 0x0F : 0);
    if (third != 0) {
        // Both forms raise the pitch: update_voice applies the offset with
        // opposite signs under the two tables.
        if (song->flags & SONG_LINEAR_FREQUENCIES)
            channel->pitch_offset = 64 * interval;
        else
            channel->pitch_offset = amiga_period(channel->real_note + interval, sample->finetune) -
                                    amiga_period(channel->real_note, sample->finetune);
    }
    channel->update_flags |= UPDATE_FREQUENCY;
}

// ---------------------------------------------------------------------------
// Volume column

void apply_volume_column(TrackChannel* channel, uint8_t volume)
{
    int x = volume & 0x0F;
    if (volume >= 0x10 && volume <= 0x50) {
        set_volume(channel, volume - 0x10);
        return;
    }
    switch (volume >> 4) {
    case 0x6:  // 6x and 7x slide again on the later ticks, 8x and 9x not
    case 0x8: set_volume(channel, lower_volume(channel->volume, x)); return;
    case 0x7:
    case 0x9: set_volume(channel, raise_volume(channel->volume, x)); return;
    case 0xA: channel->vibrato_speed = (uint8_t)x; return;
    case 0xB: channel->vibrato_depth = (uint8_t)x; return;
    case 0xC: set_panning(channel, 16 * x); return;
    case 0xD: set_panning(channel, channel->panning - x); return;  // no limit
    case 0xE: set_panning(channel, channel->panning + x); return;
    case 0xF:
        if (x != 0) channel->porta_speed = (uint8_t)(16 * x);
        channel->porta_target = channel->note_period;
        channel->update_flags &= ~UPDATE_TRIGGER;
        return;
    default: return;
    }
}

void apply_volume_column_tick(TrackChannel* channel, uint8_t volume)
{
    int x = volume & 0x0F;
    switch (volume >> 4) {
    case 0x6: set_volume(channel, lower_volume(channel->volume, x)); return;
    case 0x7: set_volume(channel, raise_volume(channel->volume, x)); return;
    case 0xB:
        channel->vibrato_depth = (uint8_t)x;
        do_vibrato(channel);
        advance_vibrato(channel);
        return;
    case 0xD: set_panning(channel, channel->panning - x); return;
    case 0xE: set_panning(channel, channel->panning + x); return;
    case 0xF: do_tone_portamento(channel); return;
    default: return;
    }
}

// ---------------------------------------------------------------------------
// Tick 0 of the effects

// 3xx and 5xy aim at the row's note and keep the playing one sounding.
static void aim_tone_portamento(TrackChannel* channel)
{
    channel->porta_target = channel->note_period;
    channel->update_flags &= ~(UPDATE_TRIGGER | UPDATE_FREQUENCY);
}

// 9xx: an offset inside the sample starts the row's note there; one at or
// beyond the loop end starts no note and plays the old sound from its start.
// Without a note starting on the row it only remembers its parameter.
static void sample_offset(TrackChannel* channel, int param, const Sample* sample)
{
    if (param != 0) channel->sample_offset_memory = param;
    if (!(channel->update_flags & UPDATE_TRIGGER)) return;
    int64_t offset = 256 * (int64_t)channel->sample_offset_memory;
    int64_t end = (int64_t)sample->loop_start + sample->loop_length;
    if (offset < end) {
        if (channel->voice) channel->voice->start_offset = (int)offset;
    } else {
        channel->update_flags &= ~UPDATE_TRIGGER;
        channel->update_flags |= UPDATE_REWIND;
    }
}

// E5x has nothing to do here: the note of its row is tuned as it is read.
static void extended_row_effect(TrackChannel* channel, int param, const RowStart* before)
{
    int x = param & 0x0F;
    switch (param >> 4) {
    case EXTENDED_FINE_PORTA_UP:
        channel->period = slide_period(channel->period, -4 * remember(&channel->fine_porta_up_memory, x));
        return;
    case EXTENDED_FINE_PORTA_DOWN:
        channel->period = slide_period(channel->period, 4 * remember(&channel->fine_porta_down_memory, x));
        return;
    case EXTENDED_VIBRATO_WAVEFORM: channel->waveforms = (uint8_t)((channel->waveforms & 0xF0) | x); return;
    case EXTENDED_TREMOLO_WAVEFORM:
        channel->waveforms = (uint8_t)((channel->waveforms & 0x0F) | x << 4);
        return;
    case EXTENDED_SET_PANNING: set_panning(channel, 16 * x); return;
    case EXTENDED_FINE_VOLUME_UP:
        set_volume(channel, raise_volume(channel->volume, remember(&channel->fine_volume_slide_memory, x)));
        return;
    case EXTENDED_FINE_VOLUME_DOWN:
        set_volume(channel, lower_volume(channel->volume, remember(&channel->fine_volume_slide_memory, x)));
        return;
    case EXTENDED_NOTE_DELAY:
        // The old note plays on until the delayed trigger.
        channel->volume = before->volume;
        channel->period = before->period;
        channel->panning = before->panning;
        channel->update_flags &= 0xF0;
        return;
    default: return;
    }
}

static void set_nibble_memories(uint8_t* high_memory, uint8_t* low_memory, int param)
{
    if (param >> 4) *high_memory = (uint8_t)(param >> 4);
    if (param & 0x0F) *low_memory = (uint8_t)(param & 0x0F);
}

// Rxy and Txy store both nibbles together, a zero nibble included.
static void set_retrigger(TrackChannel* channel, int param)
{
    if (param == 0) return;
    channel->retrig_volume_memory = (uint8_t)(param >> 4);
    channel->retrig_interval_memory = (uint8_t)(param & 0x0F);
}

static void set_tremor(TrackChannel* channel, int param)
{
    if (param != 0) {
        channel->tremor_on_ticks = (uint8_t)((param >> 4) + 1);
        channel->tremor_off_ticks = (uint8_t)((param & 0x0F) + 1);
    }
    do_tremor(channel);
}

static void extra_fine_portamento(TrackChannel* channel, int param)
{
    int y = param & 0x0F;
    if (param >> 4 == 1)
        channel->period = slide_period(channel->period, -remember(&channel->extra_fine_up_memory, y));
    else if (param >> 4 == 2)
        channel->period = slide_period(channel->period, remember(&channel->extra_fine_down_memory, y));
}

void apply_row_effect(Song*, TrackChannel* channel, const PatternNote* cell, const Instrument* instrument,
                      Sample* sample, const RowStart* before)
{
    int param = cell->param;
    switch (cell->effect) {
    case EFFECT_PORTA_UP: remember(&channel->porta_up_memory, param); return;
    case EFFECT_PORTA_DOWN: remember(&channel->porta_down_memory, param); return;
    case EFFECT_TONE_PORTA:
        remember(&channel->porta_speed, param);
        aim_tone_portamento(channel);
        return;
    case EFFECT_VIBRATO:
        set_nibble_memories(&channel->vibrato_speed, &channel->vibrato_depth, param);
        do_vibrato(channel);
        return;
    case EFFECT_TONE_PORTA_SLIDE:
        remember(&channel->volume_slide_memory, param);
        aim_tone_portamento(channel);
        return;
    case EFFECT_VIBRATO_SLIDE:
        remember(&channel->volume_slide_memory, param);
        do_vibrato(channel);
        return;
    case EFFECT_TREMOLO: set_nibble_memories(&channel->tremolo_speed, &channel->tremolo_depth, param); return;
    case EFFECT_SET_PANNING: set_panning(channel, param); return;
    case EFFECT_SAMPLE_OFFSET: sample_offset(channel, param, sample); return;
    case EFFECT_VOLUME_SLIDE: remember(&channel->volume_slide_memory, param); return;
    case EFFECT_SET_VOLUME: set_volume(channel, param); return;  // above 64 plays louder
    case EFFECT_EXTENDED: extended_row_effect(channel, param, before); return;
    case EFFECT_ENVELOPE_POSITION: set_envelope_position(channel, instrument, param); return;
    case EFFECT_PANNING_SLIDE:
        remember(&channel->panning_slide_memory, param);
        channel->update_flags |= UPDATE_PANNING;
        return;
    case EFFECT_MULTI_RETRIGGER: set_retrigger(channel, param); return;
    case EFFECT_TREMOR: set_tremor(channel, param); return;
    case EFFECT_EXTRA_FINE_PORTA: extra_fine_portamento(channel, param); return;
    default: return;
    }
}

// ---------------------------------------------------------------------------
// Later ticks of the effects

// Rxy volume change at a retrigger; x = 0 changes nothing.
static void retrigger_volume(TrackChannel* channel)
{
    static const int8_t steps[16] = {0, -1, -2, -4, -8, -16, 0, 0, 0, 1, 2, 4, 8, 16, 0, 0};
    int x = channel->retrig_volume_memory & 0x0F;
    if (x == 0) return;
    int32_t volume = channel->volume;
    if (x == 6)
        volume = 2 * volume / 3;
    else if (x == 7)
        volume >>= 1;
    else if (x == 14)
        volume = 3 * volume / 2;
    else if (x == 15)
        volume *= 2;
    else
        volume += steps[x];
    channel->volume = clamp_volume(volume);
    channel->update_flags |= UPDATE_VOLUME;
}

// EDx on the tick the note was delayed to: the note starts now.
static void delayed_note(TrackChannel* channel, const PatternNote* cell, const Sample* sample)
{
    start_instrument(channel, sample);
    channel->update_flags |= UPDATE_FREQUENCY;
    channel->period = channel->note_period;
    if (cell->volume != 0) apply_volume_column(channel, cell->volume);
    channel->update_flags |= UPDATE_TRIGGER;
}

static void extended_tick_effect(Song* song, TrackChannel* channel, const PatternNote* cell,
                                 const Sample* sample)
{
    int x = cell->param & 0x0F;
    switch (cell->param >> 4) {
    case EXTENDED_RETRIGGER:
        if (x != 0 && song->tick % x == 0)
            channel->update_flags |= UPDATE_TRIGGER | UPDATE_FREQUENCY | UPDATE_VOLUME;
        return;
    case EXTENDED_NOTE_CUT:
        if (song->tick == x) set_volume(channel, 0);
        return;
    case EXTENDED_NOTE_DELAY:
        if (song->tick == x)
            delayed_note(channel, cell, sample);
        else
            channel->update_flags &= 0xF0;  // withhold this tick's changes
        return;
    default: return;
    }
}

void apply_tick_effect(Song* song, TrackChannel* channel, const PatternNote* cell, const Instrument*,
                       Sample* sample)
{
    switch (cell->effect) {
    case EFFECT_ARPEGGIO:
        if (cell->param != 0) do_arpeggio(song, channel, cell->param, sample);
        return;
    case EFFECT_PORTA_UP:
        channel->period -= 4 * channel->porta_up_memory;
        if (channel->period < LOWEST_SLIDE_PERIOD) channel->period = LOWEST_SLIDE_PERIOD;
        channel->update_flags |= UPDATE_FREQUENCY;
        return;
    case EFFECT_PORTA_DOWN:
        channel->period = slide_period(channel->period, 4 * channel->porta_down_memory);
        channel->update_flags |= UPDATE_FREQUENCY;
        return;
    case EFFECT_TONE_PORTA: do_tone_portamento(channel); return;
    case EFFECT_VIBRATO:
        do_vibrato(channel);
        advance_vibrato(channel);
        return;
    case EFFECT_TONE_PORTA_SLIDE:
        do_tone_portamento(channel);
        volume_slide(channel);
        return;
    case EFFECT_VIBRATO_SLIDE:
        do_vibrato(channel);
        advance_vibrato(channel);
        volume_slide(channel);
        return;
    case EFFECT_TREMOLO: do_tremolo(channel); return;
    case EFFECT_VOLUME_SLIDE: volume_slide(channel); return;
    case EFFECT_EXTENDED: extended_tick_effect(song, channel, cell, sample); return;
    case EFFECT_GLOBAL_VOLUME_SLIDE:
        // No flag: the new global volume reaches each voice with its next
        // volume update.
        song->global_volume = nibble_slide(song->global_volume, song->global_volume_slide_memory, 0,
                                           MAX_VOLUME);
        return;
    case EFFECT_PANNING_SLIDE:
        set_panning(channel, nibble_slide(channel->panning, channel->panning_slide_memory, 0, 255));
        return;
    case EFFECT_MULTI_RETRIGGER:
        if (channel->retrig_interval_memory != 0 && song->tick % channel->retrig_interval_memory == 0) {
            retrigger_volume(channel);
            channel->update_flags |= UPDATE_TRIGGER;
        }
        return;
    case EFFECT_TREMOR: do_tremor(channel); return;
    default: return;
    }
}

// A later tick of the row `cells` for every channel; `flags` are update
// flags every channel starts the tick with.
static void run_tick_effects(Song* song, const PatternNote* cells, uint8_t flags)
{
    int count = played_channel_count(song);
    for (int c = 0; c < count; ++c) {
        TrackChannel* channel = &channels[c];
        const Instrument* instrument = resolve_instrument(song, channel);
        Sample* sample = resolve_sample(instrument, channel->note);
        channel->volume_offset = 0;
        channel->pitch_offset = 0;
        channel->update_flags = flags;
        step_envelope(channel, instrument);
        step_fadeout(channel, instrument);
        apply_volume_column_tick(channel, cells[c].volume);
        apply_tick_effect(song, channel, &cells[c], instrument, sample);
        do_auto_vibrato(channel, instrument);
        update_voice(channel, sample, song);
    }
}

void process_tick_effects(Song* song)
{
    const PatternNote* cells = current_row_cells(song);
    if (cells) run_tick_effects(song, cells, 0);
}

void process_empty_tick(Song* song)
{
    // Effect 0 with parameter 0 is an arpeggio that plays nothing.
    static const PatternNote empty_row[MAX_CHANNELS] = {};
    run_tick_effects(song, empty_row, UPDATE_VOLUME);
}
