// Tick engine, pitch and voice update: periods under the XM linear and
// Amiga tables, and update_voice, which hands each tick's flagged changes
// to the channel's mixer voice (starting a new note on the partner slot
// while the old one fades out).
#include <cmath>

#include "music/music_engine.h"

// The float nearest 1/12: one semitone in octaves.
static const double SEMITONE = (double)0.0833333358f;
// The float nearest 1/768: one linear period unit in octaves.
static const double LINEAR_UNIT = (double)0.0013020834f;
// Amiga period 1712 plays this clock divided by the period (8362 Hz).
static const int AMIGA_CLOCK = 14317056;

int note_to_period(const Song* song, int real_note, int finetune)
{
    if (song->flags & SONG_LINEAR_FREQUENCIES) return 7680 - 64 * real_note - finetune / 2;
    return amiga_period(real_note, finetune);
}

static int amiga_base(int octave_steps) { return (int)(std::pow(2.0, octave_steps * SEMITONE) * 13.375); }

int amiga_period(int note, int finetune)
{
    int base = amiga_base(132 - note);
    // The finetune moves the period linearly up to one semitone towards
    // the neighbouring note: down for a negative finetune, up otherwise.
    if (finetune < 0 && note != 0) {
        int lower = amiga_base(133 - note);
        return base + ((base - lower) * -finetune) / -128;
    }
    int higher = amiga_base(131 - note);
    return base + ((base - higher) * finetune) / -128;
}

int period_frequency(const Song* song, int period, int pitch_offset)
{
    double frequency;
    if (song->flags & SONG_LINEAR_FREQUENCIES) {
        double units = 4608.0 - period + pitch_offset;
        frequency = 8363.0 * std::pow(2.0, units * LINEAR_UNIT);
    } else {
        // The clock over the period, rounded toward zero as an integer
        // division does: the sum is exact in double precision, and the
        // quotient of a clock below 2^24 lies too far from the next whole
        // number for the division's rounding to reach it.
        double sum = (double)period + pitch_offset;
        frequency = sum == 0 ? 0.0 : (double)(int)(AMIGA_CLOCK / sum);
    }
    // The mixer steps at most 255 and a fraction samples per output frame.
    double highest = 256.0 * sound_output.rate - 1.0;
    if (frequency > highest) frequency = highest;
    if (frequency < LOWEST_FREQUENCY) frequency = LOWEST_FREQUENCY;
    return (int)frequency;
}

// ---------------------------------------------------------------------------
// Voice update

// A trigger while the voice still sounds moves the track to the partner
// slot (i <-> i + 32); the old slot keeps its sound and ramps out to 0.
static Voice* take_partner_voice(Voice* voice)
{
    int slot = (int)(voice - sound_output.voices);
    if (slot < 0 || slot >= MIXED_VOICES) return voice;
    int partner = slot < MIXED_VOICES / 2 ? slot + MIXED_VOICES / 2 : slot - MIXED_VOICES / 2;
    Voice* copy = &sound_output.voices[partner];
    *copy = *voice;
    copy->index = partner;
    voice->volume = 0;
    voice->target_left = 0;
    voice->target_right = 0;
    return copy;
}

static void trigger_voice(TrackChannel* channel, const Sample* sample)
{
    Voice* voice = channel->voice;
    if (voice->sample) voice = channel->voice = take_partner_voice(voice);
    voice->sample = sample;
    uint64_t end = (uint64_t)sample->loop_start + sample->loop_length;
    if (voice->start_offset < 0 || (uint64_t)voice->start_offset >= end) voice->start_offset = 0;
    voice->position = (uint32_t)voice->start_offset;
    voice->position_fraction = 0;
    voice->direction = 1;
    voice->start_offset = 0;
    voice->current_left = voice->current_right = 0;
    voice->ramp_left = 0;  // the note fades in from silence over one ramp
}

static void set_voice_volume(const TrackChannel* channel, const Song* song, Voice* voice)
{
    // 255 / 2^35: with every factor at its normal top (64, 64, 65536, 64)
    // the gain is 127, half the range, leaving room for Cxx above 64.
    float product = (float)(channel->volume + channel->volume_offset) * (float)channel->volume_env_value *
                    (float)channel->fadeout_volume * (float)song->global_volume * 7.4214768e-9f;
    int volume = (int)product;
    voice->volume = volume;
    voice->target_left = (255 - voice->panning) * volume / 255;
    voice->target_right = volume * voice->panning / 255;
}

static void set_voice_panning(const TrackChannel* channel, Voice* voice)
{
    int distance = channel->panning - 128;
    if (distance < 0) distance = -distance;
    // A centred voice swings across the whole range, a hard-panned one not.
    int swing = (128 - distance) / 32;
    int panning = channel->panning + (channel->panning_env_value - 32) * swing;
    panning = panning < 0 ? 0 : (panning > 255 ? 255 : panning);
    voice->panning = panning;
    // Panning 0 is full left and 255 full right, as modules are written.
    voice->target_left = (255 - panning) * voice->volume / 255;
    voice->target_right = voice->volume * panning / 255;
}

static void set_voice_frequency(const TrackChannel* channel, const Song* song, Voice* voice)
{
    uint32_t rate = (uint32_t)sound_output.rate;
    uint32_t frequency = (uint32_t)period_frequency(song, channel->period, channel->pitch_offset);
    voice->increment = frequency / rate;
    voice->increment_fraction = (uint32_t)(((uint64_t)(frequency % rate) << 32) / rate);
}

void update_voice(TrackChannel* channel, const Sample* sample, const Song* song)
{
    if (!channel->voice) return;
    if (channel->period + channel->pitch_offset == 0) channel->update_flags &= ~UPDATE_FREQUENCY;
    // Without an open output there is no rate to step at.
    if (sound_output.rate <= 0) channel->update_flags &= ~UPDATE_FREQUENCY;
    if (channel->update_flags & UPDATE_TRIGGER) trigger_voice(channel, sample);
    Voice* voice = channel->voice;
    if (channel->update_flags & UPDATE_VOLUME) set_voice_volume(channel, song, voice);
    if (channel->update_flags & UPDATE_PANNING) set_voice_panning(channel, voice);
    if (channel->update_flags & UPDATE_FREQUENCY) set_voice_frequency(channel, song, voice);
    if (channel->update_flags & UPDATE_REWIND) {
        voice->position = 0;
        voice->position_fraction = 0;
        voice->start_offset = 0;
    }
}
