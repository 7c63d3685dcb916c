// Tick engine, rows and notes: walks orders, rows and ticks, takes over
// each row's notes and instruments, and settles the effects that steer
// the sequence (position jump, pattern break, pattern loop, pattern delay,
// speed and tempo, global volume). Runs on the mixing thread.
#include <cstddef>

#include "music/music_engine.h"

TrackChannel channels[MAX_CHANNELS];

// Row a pattern loop (E6x) of the row being read jumps back to; -1 when
// none did. The last channel that jumped wins.
static int loop_jump_row = -1;

// ---------------------------------------------------------------------------
// Orders, patterns and cells

// Orders the song defines: its length, within the 256-entry order table.
static int defined_orders(const Song* song)
{
    if (song->song_length <= 0) return 0;
    return song->song_length < MAX_ORDERS ? (int)song->song_length : (int)MAX_ORDERS;
}

// Where playback goes after the last order; order 0 when the module's
// restart position names no defined order.
static int restart_order(const Song* song)
{
    int restart = song->restart_position;
    return restart >= 0 && restart < defined_orders(song) ? restart : 0;
}

// The pattern an order index plays, or null when the order table names a
// pattern the song does not hold.
static const Pattern* order_pattern(const Song* song, int order_index)
{
    if (order_index < 0 || order_index >= MAX_ORDERS || !song->patterns) return nullptr;
    int number = song->orders[order_index];
    return number < song->pattern_slots ? &song->patterns[number] : nullptr;
}

static int order_row_count(const Song* song, int order_index)
{
    const Pattern* pattern = order_pattern(song, order_index);
    return pattern ? pattern->row_count : 0;
}

const PatternNote* current_row_cells(const Song* song)
{
    const Pattern* pattern = order_pattern(song, song->order_index);
    if (!pattern || !pattern->notes || song->channel_count <= 0) return nullptr;
    if (song->row < 0 || song->row >= pattern->row_count) return nullptr;
    return pattern->notes + (std::size_t)song->row * (std::size_t)song->channel_count;
}

int played_channel_count(const Song* song)
{
    if (song->channel_count <= 0) return 0;
    return song->channel_count < MAX_CHANNELS ? (int)song->channel_count : (int)MAX_CHANNELS;
}

const Instrument* resolve_instrument(const Song* song, const TrackChannel* channel)
{
    if (channel->instrument >= song->instrument_count || !song->instruments) return &empty_instrument;
    return &song->instruments[channel->instrument];
}

Sample* resolve_sample(const Instrument* instrument, int note)
{
    // Cell notes 97..254 are not notes; they never reach the 96-entry map.
    if (note < 0 || note >= SAMPLE_MAP_NOTES) return &empty_sample;
    int number = instrument->sample_map[note];
    if (number >= MAX_SAMPLES_PER_INSTRUMENT || !instrument->samples[number]) return &empty_sample;
    return instrument->samples[number];
}

// ---------------------------------------------------------------------------
// The tick

// Works out the row that follows a row without jump or break: the next
// row, the loop start of a pattern loop, or row 0 of the next order.
static void plan_next_row(Song* song)
{
    int candidate = loop_jump_row >= 0 ? loop_jump_row : song->row + 1;
    song->next_row = candidate;
    if (candidate >= order_row_count(song, song->order_index)) {
        int next = song->order_index + 1;
        song->next_order = next >= defined_orders(song) ? restart_order(song) : next;
        song->next_row = 0;
    }
}

void play_tick(Song* song)
{
    if (song->tick != 0) {
        process_tick_effects(song);
    } else {
        if (song->next_order >= 0) song->order_index = song->next_order;
        if (song->next_row >= 0) song->row = song->next_row;
        // A break (Dxx) may name a row the new pattern lacks: play its row 0.
        if (song->row >= order_row_count(song, song->order_index)) song->row = 0;
        process_row(song);
        if (song->next_row == -1) plan_next_row(song);
    }
    song->tick += 1;
    if (song->tick >= song->speed + song->pattern_delay) {
        song->pattern_delay = 0;
        song->tick = 0;
    }
}

// ---------------------------------------------------------------------------
// Sequencing effects (tick 0)

static void position_jump(Song* song, int param, bool* jump_seen)
{
    song->next_row = 0;
    song->next_order = param >= defined_orders(song) ? 0 : param;
    *jump_seen = true;
}

static void pattern_break(Song* song, int param, bool jump_seen)
{
    // Written as decimal digits; a nibble above 9 still counts its value.
    int row = 10 * (param >> 4) + (param & 0x0F);
    song->next_row = row > 63 ? 0 : row;
    if (!jump_seen) {
        int next = song->order_index + 1;
        song->next_order = next >= defined_orders(song) ? 0 : next;
    }
}

static void pattern_loop(Song* song, TrackChannel* channel, int count)
{
    if (count == 0) {
        channel->loop_start_row = song->row;
        return;
    }
    if (channel->loop_count == 0)
        channel->loop_count = count;
    else
        channel->loop_count -= 1;
    if (channel->loop_count != 0) loop_jump_row = channel->loop_start_row;
}

// Settles B, D, E6x, EEx, F, G and H; false for every other effect.
static bool sequencing_effect(Song* song, TrackChannel* channel, const PatternNote* cell, bool* jump_seen)
{
    int param = cell->param;
    int sub = param >> 4;
    switch (cell->effect) {
    case EFFECT_POSITION_JUMP: position_jump(song, param, jump_seen); return true;
    case EFFECT_PATTERN_BREAK: pattern_break(song, param, *jump_seen); return true;
    case EFFECT_SPEED_TEMPO:
        if (param < 32)
            song->speed = param;
        else
            set_tempo(song, param);
        return true;
    case EFFECT_GLOBAL_VOLUME:
        song->global_volume = param < MAX_VOLUME ? param : MAX_VOLUME;
        channel->update_flags |= UPDATE_VOLUME;
        return true;
    case EFFECT_GLOBAL_VOLUME_SLIDE:
        if (param != 0) song->global_volume_slide_memory = (uint8_t)param;
        return true;
    case EFFECT_EXTENDED:
        if (sub == EXTENDED_PATTERN_LOOP) {
            pattern_loop(song, channel, param & 0x0F);
            return true;
        }
        if (sub == EXTENDED_PATTERN_DELAY) {
            song->pattern_delay = (param & 0x0F) * song->speed;
            return true;
        }
        return false;
    default: return false;
    }
}

// ---------------------------------------------------------------------------
// Row processing

void start_instrument(TrackChannel* channel, const Sample* sample)
{
    channel->volume = sample->volume;
    channel->panning = sample->panning;
    channel->volume_env_value = MAX_ENVELOPE_VALUE;
    channel->volume_env_point = channel->volume_env_tick = channel->volume_env_step = 0;
    channel->volume_env_done = 0;
    channel->panning_env_value = MAX_ENVELOPE_VALUE / 2;
    channel->panning_env_point = channel->panning_env_tick = channel->panning_env_step = 0;
    channel->panning_env_done = 0;
    channel->key_off = 0;
    channel->fadeout_volume = FULL_FADEOUT;
    channel->autovibrato_position = 0;
    channel->autovibrato_sweep_ticks = 0;
    // Waveforms 4..15 keep their position running from note to note.
    if ((channel->waveforms & 0x0F) < 4) channel->vibrato_position = 0;
    if ((channel->waveforms >> 4) < 4) channel->tremolo_position = 0;
    channel->tremor_position = 0;
    channel->update_flags |= UPDATE_VOLUME | UPDATE_PANNING;
}

static bool is_note(int note) { return note != 0 && note != NOTE_KEY_OFF; }

// Real notes run over ten octaves, C-0 to B-9.
enum { REAL_NOTES = 120 };

// E5x tunes the note of its own row, (x - 8) x 16 from a semitone down to
// 7/8 of one up; the sample keeps its own finetune for every other note.
static int note_finetune(const PatternNote* cell, const Sample* sample)
{
    if (cell->effect == EFFECT_EXTENDED && cell->param >> 4 == EXTENDED_FINETUNE)
        return ((cell->param & 0x0F) - 8) * 16;
    return sample->finetune;
}

// A channel's row begins here: notes and instruments taken over.
// A tone portamento keeps the playing note, instrument and sample and
// only aims at the new note's period.
static void take_over_note(Song* song, TrackChannel* channel, const PatternNote* cell,
                           const Instrument** instrument, Sample** sample, RowStart* before)
{
    bool porta = cell->effect == EFFECT_TONE_PORTA || cell->effect == EFFECT_TONE_PORTA_SLIDE ||
                 cell->volume >= 0xF0;
    if (cell->instrument != 0 && !porta) channel->instrument = (uint8_t)(cell->instrument - 1);
    if (is_note(cell->note) && !porta) channel->note = (uint8_t)(cell->note - 1);
    *instrument = resolve_instrument(song, channel);
    *sample = resolve_sample(*instrument, channel->note);
    *before = RowStart{channel->volume, channel->period, channel->panning};
    // Leaving a tremolo keeps the volume where the tremolo left it.
    if (channel->last_effect == EFFECT_TREMOLO && cell->effect != EFFECT_TREMOLO)
        channel->volume += channel->volume_offset;
    channel->last_effect = cell->effect;
    channel->volume_offset = 0;
    channel->update_flags = 0;
    // A note that the sample's relative note pushes beyond the ten octaves
    // is not played: the channel goes on as on a row without note.
    int real_note = cell->note - 1 + (*sample)->relative_note;
    if (is_note(cell->note) && real_note >= 0 && real_note < REAL_NOTES) {
        channel->real_note = (uint8_t)real_note;
        channel->note_period = note_to_period(song, real_note, note_finetune(cell, *sample));
        if (!porta) channel->period = channel->note_period;
        channel->update_flags = UPDATE_TRIGGER;
    }
    channel->pitch_offset = 0;
    channel->update_flags |= UPDATE_FREQUENCY | UPDATE_VOLUME;
    if (cell->instrument != 0) start_instrument(channel, *sample);
}

// After the volume column: release, envelopes and fadeout on tick 0.
static void release_and_envelopes(TrackChannel* channel, const PatternNote* cell,
                                  const Instrument* instrument)
{
    if (cell->note == NOTE_KEY_OFF || cell->effect == EFFECT_KEY_OFF) channel->key_off = 1;
    // Without a volume envelope a released note falls silent at once.
    if (!(instrument->volume_type & ENVELOPE_ON) && channel->key_off) channel->volume_env_value = 0;
    step_envelope(channel, instrument);
    step_fadeout(channel, instrument);
}

static void process_channel_row(Song* song, TrackChannel* channel, const PatternNote* cell, bool* jump_seen)
{
    const Instrument* instrument;
    Sample* sample;
    RowStart before;
    take_over_note(song, channel, cell, &instrument, &sample, &before);
    if (cell->volume != 0) apply_volume_column(channel, cell->volume);
    release_and_envelopes(channel, cell, instrument);
    if (!sequencing_effect(song, channel, cell, jump_seen))
        apply_row_effect(song, channel, cell, instrument, sample, &before);
    do_auto_vibrato(channel, instrument);
    update_voice(channel, sample, song);
}

void process_row(Song* song)
{
    song->next_row = -1;
    song->next_order = -1;
    loop_jump_row = -1;
    bool jump_seen = false;
    const PatternNote* cells = current_row_cells(song);
    if (!cells) return;
    int count = played_channel_count(song);
    for (int c = 0; c < count; ++c) process_channel_row(song, &channels[c], &cells[c], &jump_seen);
}
