// The music player's engine, for music/ and its tests: song-file
// operations and the in-memory source, the loader's steps, the software
// mixer and its voices, the sound output with its ring and mixing thread,
// playback's steps and the tick engine (rows and notes, effects,
// envelopes, pitch and voice update). What the rest of the program calls
// is in music.h.
//
// Threads: once play_song has returned, the mixing thread alone owns the
// song's play state, the track channels and the voices. Three atomic
// one-byte flags in SoundOutput carry the hand-over; nothing is locked.
#ifndef BRINDLEC_MUSIC_ENGINE_H
#define BRINDLEC_MUSIC_ENGINE_H

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "music/music.h"

struct PlatformThread;

// ===========================================================================
// Song-file operations and in-memory source (song_file.cpp)

// Handles are chosen by the source; 0 means failure.
struct FileCallbacks {
    int (*open)(const char* name);
    void (*close)(int handle);
    void (*read)(void* destination, int count, int handle);
    void (*seek)(int handle, int offset, int whence);  // whence 0 start, 1 current, 2 end
    int (*tell)(int handle);
};

struct MemoryFile {
    const unsigned char* base;  // first byte of the module
    int size;                   // bytes
    int position;               // read position, 0 .. size
};

struct SongFile {
    int handle;  // what open returned
};

extern FileCallbacks file_callbacks;
extern MemoryFile memory_file;

void set_file_callbacks(int (*open)(const char*), void (*close)(int), void (*read)(void*, int, int),
                        void (*seek)(int, int, int), int (*tell)(int));
bool file_callbacks_installed(void);

int memory_open(const char* name);
void memory_close(int handle);
void memory_read(void* destination, int count, int handle);
void memory_seek(int handle, int offset, int whence);
int memory_tell(int handle);

SongFile* song_file_open(const char* name);
void song_file_close(SongFile* file);
void song_file_read(void* destination, int count, SongFile* file);
void song_file_seek(SongFile* file, int offset, int whence);
int song_file_tell(SongFile* file);

// ===========================================================================
// XM loader (xm_loader.cpp)

// The all-zero sample an instrument's unused slots point at, and the
// instrument a channel plays when its number lies beyond the song's.
extern Sample empty_sample;
extern Instrument empty_instrument;

// What the last load_song or parse_xm found; LOAD_OK after a load.
extern SongLoadStatus song_load_status;

Song* load_song(const char* name);
bool parse_xm(Song* song, SongFile* file);

// ===========================================================================
// Software mixer (mixer.cpp)

struct Voice {
    int index;                        // own slot number
    int volume;                       // 0..255
    int panning;                      // 0..255
    int start_offset;                 // sample position for the next note start
    const Sample* sample;             // null: silent
    int target_left;                  // 0..255, gain wanted for the left value
    int target_right;                 // 0..255
    uint32_t position;                // integer part, in samples
    uint32_t position_fraction;       // units of 2^-32
    uint32_t increment_fraction;      // units of 2^-32
    uint32_t increment;               // integer part of the step per output frame
    int direction;                    // 1 forward, 2 backward
    int seen_left, seen_right;        // targets when the current ramp was planned
    int current_left, current_right;  // 8.8 gains reached
    float step_left, step_right;      // gain change per frame during a ramp
    int ramp_left;                    // frames left in the ramp; 0 when none
};

enum { MIXED_VOICES = 64, VOICE_SLOTS = 256 };

void mix_voices(float* output, int frames);
// True when no voice adds anything to the mix until a note starts: every
// one has ended or stands at gain 0 with no ramp left.
bool voices_silent(void);
void clip_to_pcm16(int16_t* destination, const float* source, int frames);

// ===========================================================================
// Sound output and mixing thread (sound_output.cpp)

enum { BUFFER_MS = 1000 };

struct SoundOutput {
    int rate;                // output frames per second
    bool device_open;        // the platform audio device is open
    int block_frames;        // 444 at 22050 Hz
    int ring_frames;         // 44400 at 22050 Hz (100 blocks)
    bool header_prepared;    // the ring is handed to the device
    int16_t* output_buffer;  // ring_frames x 2 interleaved PCM values
    float* mix_buffer;       // ring_frames x 2 floats, 16-byte aligned
    void* mix_allocation;    // what mix_buffer was carved from
    int write_block;         // next block to fill
    Song* playing_song;
    PlatformThread* thread;
    std::atomic<bool> stop_requested;
    std::atomic<bool> mixing;
    std::atomic<bool> thread_finished;
    int ramp_frames;   // 64 at 22050 Hz
    float ramp_scale;  // 1 / ramp_frames
    Voice voices[VOICE_SLOTS];
};

extern SoundOutput sound_output;

void fill_block(void);
int output_thread(void* argument);
void set_tempo(Song* song, int bpm);
// Frames a tick lasts at `rate` frames per second (MIN_OUTPUT_RATE ..
// MAX_OUTPUT_RATE) and `bpm`: what set_tempo sets frames_per_tick to on
// the open output.
int tick_frames(int rate, int bpm);

// Opens the output without a device, for rendering offline: closes the
// previous output, then sets up rate, block, ring and ramp lengths and the
// voices exactly as open_sound_output does. The ring is then filled only
// by prepare_playback and fill_block; nothing plays it. False for a rate
// outside MIN_OUTPUT_RATE..MAX_OUTPUT_RATE.
bool open_offline_output(int rate);

// ===========================================================================
// Playback control (playback.cpp)

// What play_song does before the device and the thread take over: stops
// what plays, resets the song and the tracks (reset_playback), allocates
// the ring's buffers and fills the whole ring once. False for a null song,
// an output that was never opened, or a failed allocation (nothing is then
// left allocated but the reusable PCM ring).
bool prepare_playback(Song* song);

// The song back to row 0 of order 0 with the speed, tempo and global
// volume of its header, and its tracks cleared, track i on voice i: the
// state the first tick starts from. The voices are left as they are.
void reset_playback(Song* song);

// ===========================================================================
// Rendering offline (offline_render.cpp)

extern uint64_t offline_played_frames;  // frames rendered since the start

// ===========================================================================
// Tick engine: rows and notes (tick_engine.cpp), effects (effects.cpp),
// envelopes (envelopes.cpp), pitch and voice update (pitch.cpp)

enum {
    UPDATE_FREQUENCY = 0x01,
    UPDATE_VOLUME = 0x02,
    UPDATE_PANNING = 0x04,
    UPDATE_TRIGGER = 0x08,
    UPDATE_REWIND = 0x20,
};

struct TrackChannel {
    uint8_t note;          // last note taken over, 0-based
    uint8_t update_flags;  // UPDATE_* for update_voice at the end of the tick
    Voice* voice;
    int32_t period;
    int32_t volume;         // 0..64
    int32_t panning;        // 0..255, 128 centre
    int32_t volume_offset;  // tremolo/tremor, this tick only
    int32_t pitch_offset;   // vibrato/arpeggio/auto-vibrato, this tick only
    int32_t volume_env_tick, volume_env_point, volume_env_fixed, volume_env_value, volume_env_step;
    uint8_t volume_env_done;
    int32_t panning_env_tick, panning_env_point, panning_env_fixed, panning_env_value, panning_env_step;
    uint8_t panning_env_done;
    int32_t fadeout_volume;  // 0..65536
    int32_t autovibrato_position;
    int32_t autovibrato_sweep_ticks;
    uint8_t key_off;
    uint8_t instrument;  // 0-based
    uint8_t real_note;
    int32_t note_period;
    uint8_t last_effect;
    int32_t sample_offset_memory;
    uint8_t porta_down_memory, porta_up_memory, extra_fine_down_memory, extra_fine_up_memory,
        volume_slide_memory, panning_slide_memory, retrig_volume_memory, retrig_interval_memory;
    int32_t porta_target;
    uint8_t porta_speed;
    int8_t vibrato_position;
    uint8_t vibrato_speed, vibrato_depth;
    int8_t tremolo_position;
    uint8_t tremolo_speed, tremolo_depth;
    uint8_t tremor_position, tremor_on_ticks, tremor_off_ticks;
    int32_t loop_start_row, loop_count;
    uint8_t waveforms;  // low nibble vibrato, high nibble tremolo
    uint8_t fine_volume_slide_memory, fine_porta_up_memory, fine_porta_down_memory;
};

extern TrackChannel channels[MAX_CHANNELS];

enum {
    EFFECT_ARPEGGIO = 0,
    EFFECT_PORTA_UP = 1,
    EFFECT_PORTA_DOWN = 2,
    EFFECT_TONE_PORTA = 3,
    EFFECT_VIBRATO = 4,
    EFFECT_TONE_PORTA_SLIDE = 5,
    EFFECT_VIBRATO_SLIDE = 6,
    EFFECT_TREMOLO = 7,
    EFFECT_SET_PANNING = 8,
    EFFECT_SAMPLE_OFFSET = 9,
    EFFECT_VOLUME_SLIDE = 10,
    EFFECT_POSITION_JUMP = 11,
    EFFECT_SET_VOLUME = 12,
    EFFECT_PATTERN_BREAK = 13,
    EFFECT_EXTENDED = 14,  // sub-command in the parameter's high nibble
    EFFECT_SPEED_TEMPO = 15,
    EFFECT_GLOBAL_VOLUME = 16,
    EFFECT_GLOBAL_VOLUME_SLIDE = 17,
    EFFECT_KEY_OFF = 20,
    EFFECT_ENVELOPE_POSITION = 21,
    EFFECT_PANNING_SLIDE = 25,
    EFFECT_MULTI_RETRIGGER = 27,
    EFFECT_TREMOR = 29,
    EFFECT_EXTRA_FINE_PORTA = 33,
};

enum {
    EXTENDED_FINE_PORTA_UP = 1,
    EXTENDED_FINE_PORTA_DOWN = 2,
    EXTENDED_VIBRATO_WAVEFORM = 4,
    EXTENDED_FINETUNE = 5,
    EXTENDED_PATTERN_LOOP = 6,
    EXTENDED_TREMOLO_WAVEFORM = 7,
    EXTENDED_SET_PANNING = 8,
    EXTENDED_RETRIGGER = 9,
    EXTENDED_FINE_VOLUME_UP = 10,
    EXTENDED_FINE_VOLUME_DOWN = 11,
    EXTENDED_NOTE_CUT = 12,
    EXTENDED_NOTE_DELAY = 13,
    EXTENDED_PATTERN_DELAY = 14,
};

enum {
    MAX_VOLUME = 64,
    MAX_ENVELOPE_VALUE = 64,   // volume and panning envelopes both span 0..64
    FULL_FADEOUT = 65536,      // fadeout_volume of a note not yet fading
    LOWEST_SLIDE_PERIOD = 56,  // portamento up (1xx) stops here
    PERIOD_LIMIT = 1 << 20,    // slides never push a period beyond +-this
    LOWEST_FREQUENCY = 100,    // Hz; no voice plays slower
};

// The volume, period and panning a channel had before its row was read;
// a note delay (EDx) puts them back so that the old note plays on.
struct RowStart {
    int32_t volume;
    int32_t period;
    int32_t panning;
};

// --- Rows and notes (tick_engine.cpp); play_tick is in music.h ---

// Tick 0 of the current row for every channel.
void process_row(Song* song);
// Resets a channel for a new instrument: volume and panning from the
// sample, envelopes, fadeout, key-off, auto-vibrato, waveform positions.
void start_instrument(TrackChannel* channel, const Sample* sample);
// The cells of the row being played, or null when the pattern has no note
// grid, the row lies beyond it or the song has no channels.
const PatternNote* current_row_cells(const Song* song);
// Channels the engine drives: channel_count, at most MAX_CHANNELS.
int played_channel_count(const Song* song);
// The instrument a channel plays; empty_instrument beyond the song's.
const Instrument* resolve_instrument(const Song* song, const TrackChannel* channel);
// The sample an instrument maps a note to; empty_sample for a note beyond
// the sample map, a map entry beyond 16 or an empty slot. Never null.
Sample* resolve_sample(const Instrument* instrument, int note);

// --- Effects (effects.cpp) ---

// One tick other than tick 0 of the current row for every channel.
void process_tick_effects(Song* song);
// A tick of a row without notes, instruments or effects for every channel:
// envelopes, fadeout and auto-vibrato go on, and every voice's gains are
// recomputed (so a change of global_volume reaches all of them at once).
// What the notes still sounding do once a song has ended.
void process_empty_tick(Song* song);
// Tick-0 part of a volume-column byte.
void apply_volume_column(TrackChannel* channel, uint8_t volume);
// Later-tick part of a volume-column byte.
void apply_volume_column_tick(TrackChannel* channel, uint8_t volume);
// Tick-0 part of every effect except the sequencing ones (B, D, E6x, EEx,
// F, G, H), which process_row settles itself.
void apply_row_effect(Song* song, TrackChannel* channel, const PatternNote* cell,
                      const Instrument* instrument, Sample* sample, const RowStart* before);
// Later-tick part of the cell's effect.
void apply_tick_effect(Song* song, TrackChannel* channel, const PatternNote* cell,
                       const Instrument* instrument, Sample* sample);
// Waveform amplitude 0..255 shared by vibrato and tremolo at position
// -32..31; shape 0 sine, 1 ramp, 2 square.
int vibrato_amplitude(int position, int shape);
void do_vibrato(TrackChannel* channel);
void do_tremolo(TrackChannel* channel);
void do_tremor(TrackChannel* channel);
void do_tone_portamento(TrackChannel* channel);
// Later-tick arpeggio 0xy: pitch_offset for the tick's third of the cycle.
void do_arpeggio(const Song* song, TrackChannel* channel, int param, const Sample* sample);

// --- Envelopes, fadeout and auto-vibrato (envelopes.cpp) ---

// One tick of the instrument's volume envelope and of its panning
// envelope, each only while it is switched on and not finished.
void step_envelope(TrackChannel* channel, const Instrument* instrument);
// One fadeout step of a released note.
void step_fadeout(TrackChannel* channel, const Instrument* instrument);
// Lxx: moves the volume envelope to tick `position`.
void set_envelope_position(TrackChannel* channel, const Instrument* instrument, int position);
// Auto-vibrato waveform value -64..64 at position 0..255.
int autovibrato_value(int type, int position);
void do_auto_vibrato(TrackChannel* channel, const Instrument* instrument);

// --- Pitch and voice update (pitch.cpp) ---

int note_to_period(const Song* song, int real_note, int finetune);
int amiga_period(int note, int finetune);
// Frequency in Hz of a period with its pitch offset under the song's
// table, kept between LOWEST_FREQUENCY and what the mixer can step through.
int period_frequency(const Song* song, int period, int pitch_offset);
void update_voice(TrackChannel* channel, const Sample* sample, const Song* song);

#endif
