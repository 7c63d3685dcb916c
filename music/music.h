// Music player, as its readers outside music/ use it: the song model a
// module is loaded into, loading and freeing a song, the sound output and
// playback, rendering offline, the song's first pass and its ring-out, and
// the start-up entry points the intro calls. The engine behind them (song
// files, the mixer, the ring, the tick engine) is in music_engine.h, which
// only music/ and its tests include.
//
// Threads: the main thread loads songs and starts and stops playback; once
// play_song has returned, the mixing thread alone owns the song's play
// state (and runs its tick handler) until stop_song. Failures are reported
// by false or null results; nothing is printed.
#ifndef BRINDLEC_MUSIC_H
#define BRINDLEC_MUSIC_H

#include <cstddef>
#include <cstdint>

// ===========================================================================
// Song data model (xm_loader.cpp loads it)

enum {
    MAX_CHANNELS = 32,
    MAX_SAMPLES_PER_INSTRUMENT = 16,
    MAX_ORDERS = 256,
    MAX_PATTERNS = 256,
    MAX_ROWS = 256,
    ENVELOPE_POINTS = 20,
    ENVELOPE_POINTS_READ = 12,
    SAMPLE_MAP_NOTES = 96,
    SAMPLE_PADDING = 8,  // spare values after every sample's data
};

enum { NOTE_KEY_OFF = 255 };

enum { LOOP_NONE = 1, LOOP_FORWARD = 2, LOOP_PINGPONG = 4 };

enum { ENVELOPE_ON = 1, ENVELOPE_SUSTAIN = 2, ENVELOPE_LOOP = 4 };

struct PatternNote {
    uint8_t note;        // 0 none, 1..96 a note, NOTE_KEY_OFF
    uint8_t instrument;  // 0 none, 1..128
    uint8_t volume;      // volume-column byte
    uint8_t effect;
    uint8_t param;
};

struct Pattern {
    int row_count;
    PatternNote* notes;  // row_count x channel_count cells, row-major
};

struct EnvelopePoint {
    uint16_t x;  // tick
    uint16_t y;  // value 0..64
};

struct Sample {
    int16_t* data;         // length values + SAMPLE_PADDING; null when length is 0
    uint32_t length;       // samples
    uint32_t loop_start;   // samples; 0 without a loop
    uint32_t loop_length;  // samples; length without a loop
    uint8_t volume;        // 0..64
    int8_t finetune;
    int panning;        // 0..255
    uint8_t bits;       // 16 once loaded
    uint8_t loop_type;  // LOOP_NONE, LOOP_FORWARD, LOOP_PINGPONG; 0 in the shared empty sample
    int8_t relative_note;
};

enum { INSTRUMENT_NAME_BYTES = 22, SONG_TEXT_BYTES = 20 };

struct Instrument {
    int sample_count;                             // 0..16
    Sample* samples[MAX_SAMPLES_PER_INSTRUMENT];  // unused slots: the shared empty sample, never null
    uint8_t sample_map[SAMPLE_MAP_NOTES];
    EnvelopePoint volume_envelope[ENVELOPE_POINTS];
    EnvelopePoint panning_envelope[ENVELOPE_POINTS];
    uint8_t volume_points, panning_points;
    uint8_t volume_sustain, volume_loop_start, volume_loop_end;
    uint8_t panning_sustain, panning_loop_start, panning_loop_end;
    uint8_t volume_type, panning_type;
    uint8_t vibrato_type, vibrato_sweep, vibrato_depth, vibrato_rate;
    uint16_t fadeout;                      // the file's value x 2
    char name[INSTRUMENT_NAME_BYTES + 1];  // as stored, 0-terminated; for the tools
};

struct Song {
    Pattern* patterns;        // pattern_slots entries
    Instrument* instruments;  // instrument_count entries
    int tick_frames_left;     // frames still to mix in the current tick; 0: tick due
    int frames_per_tick;
    int16_t song_length;
    int16_t restart_position;
    int16_t channel_count;
    int used_pattern_count;
    int pattern_slots;
    int16_t instrument_count;
    uint16_t flags;  // bit 0: linear frequency table
    int16_t default_speed;
    int16_t default_bpm;
    uint8_t orders[MAX_ORDERS];
    uint8_t initial_global_volume;
    int global_volume;  // 0..64
    uint8_t global_volume_slide_memory;
    int tick;
    int speed;
    int bpm;
    int row;
    int order_index;
    int pattern_delay;
    int next_row;    // -1: none pending
    int next_order;  // -1: none pending
    void (*tick_handler)(Song* song);
    // What the module says of itself, as stored, 0-terminated; for the tools.
    char title[SONG_TEXT_BYTES + 1];
    char tracker[SONG_TEXT_BYTES + 1];
    uint16_t format_version;  // 0x0104 for XM 1.04
};

enum { SONG_LINEAR_FREQUENCIES = 1 };

// ===========================================================================
// Loading and freeing a song (xm_loader.cpp)

// Why a load refused its module: the check that failed.
enum SongLoadError {
    LOAD_OK = 0,
    LOAD_NO_SOURCE,         // the song source does not open
    LOAD_TOO_LARGE,         // more bytes than the memory source addresses
    LOAD_NOT_XM,            // no "Extended Module: " signature
    LOAD_CHANNELS,          // no channels, or more than MAX_CHANNELS
    LOAD_SONG_LENGTH,       // an order count outside 1..MAX_ORDERS
    LOAD_PATTERN_COUNT,     // more than MAX_PATTERNS stored patterns
    LOAD_INSTRUMENT_COUNT,  // more than 128 instruments
    LOAD_TEMPO,             // a default tempo below 1 BPM
    LOAD_PATTERN_ROWS,      // a pattern of no rows or more than MAX_ROWS
    LOAD_SAMPLE_COUNT,      // an instrument of more than 16 samples
    LOAD_OUTSIDE_FILE,      // a header size or sample data reaching outside the file
    LOAD_NO_MEMORY,         // an allocation failed
    LOAD_CUT_SHORT,         // the file ends inside its header, a pattern or an instrument
};

enum { LOAD_REASON_SIZE = 128 };

struct SongLoadStatus {
    SongLoadError error;
    // One line naming the failed check. When loaded: "", or where the file
    // ends inside the sample data of its last instrument, whose missing
    // values play as silence.
    char reason[LOAD_REASON_SIZE];
};

// Loads `size` bytes of module in one call: installs the memory source,
// points it at the bytes (which need to live only during the call) and
// runs load_song. The new Song, with play_tick as its tick handler, or
// null; then *status, when given, says why the module was refused.
Song* load_song_from_memory(const unsigned char* data, size_t size, SongLoadStatus* status);

// Stops whatever the output plays (stop_song), silences the voices that
// play the song's samples and releases the song with everything it owns.
// False, and nothing done, for a null song.
bool free_song(Song* song);

// ===========================================================================
// Sound output and playback (sound_output.cpp, playback.cpp)

// Output rates the ring arithmetic is made for: at least one frame of
// volume ramp, and frame counts well inside int.
enum { MIN_OUTPUT_RATE = 4000, MAX_OUTPUT_RATE = 192000 };

// Opens the platform's audio device for 16-bit stereo at `rate` frames a
// second, closing the previous output first, and clears the voices.
// Allocates nothing; play_song does. False when the song source is not
// installed (start_sound_output and load_song_from_memory install it), for
// a rate outside MIN_OUTPUT_RATE..MAX_OUTPUT_RATE, or when the device does
// not open.
bool open_sound_output(int rate);

// Stops the song playing, closes the device and releases the ring. Safe on
// an output that is not open.
void close_sound_output(void);

// Starts `song` from its beginning on the open output: stops what plays,
// resets the song's play state and its tracks, mixes the whole ring (about
// 2 s) on the calling thread, hands it to the device in an endless loop and
// starts the mixing thread. False for a null song, an output without a
// device, or a ring that cannot be allocated. A device that refuses the
// loop or a thread that does not start is not reported: the music is then
// silent, or the ring plays unrefreshed.
bool play_song(Song* song);

// Stops what the output plays, whichever song it is: waits for the block
// being mixed and for the mixing thread's end, releases the mix buffer and
// silences the ring a device may still be looping. False for a null song;
// true otherwise, also when nothing played.
bool stop_song(Song* song);

// One pass of the mixing thread: refills every block from the next one to
// fill up to the block the device is playing, given the frames it has
// played since its loop started. The thread calls it every 5 ms; where
// there are no threads the caller does, as often. Nothing happens while no
// song plays. Returns the blocks filled (output_block_frames frames each).
int fill_played_blocks(uint64_t played_frames);

// Frames in a block of the ring (444 at 22050 Hz); 0 before an output was
// opened.
int output_block_frames(void);

// The song the output plays (play_song or start_offline_render started it,
// and stop_song has not stopped it), or null.
const Song* output_song(void);

// The largest magnitude of the 16-bit values, 0..32768, in `block`: blocks
// counted from the ring's first frame since the song started, each held in
// the ring until a lap later refills it. 0 when no ring exists.
int output_block_peak(uint64_t block);

// ===========================================================================
// Rendering offline (offline_render.cpp): the song as the looping ring
// plays it from its first frame, with no device. The caller plays the
// device's part; every block it has read is refilled, as the mixing thread
// refills it.

// Opens the output without a device at `rate` and starts the song on it,
// the ring filled once as play_song fills it. False for a null song, a
// rate outside MIN_OUTPUT_RATE..MAX_OUTPUT_RATE or a failed allocation.
bool start_offline_render(Song* song, int rate);

// The next `frames` frames the device would play, as interleaved 16-bit
// stereo values into `destination`; silence when nothing was started.
void render_offline(int16_t* destination, uint32_t frames);

// ===========================================================================
// Ticks (tick_engine.cpp, ring_out.cpp): what a tick handler of one's own
// calls, on the thread that fills the ring, to play the song and then let
// its last notes ring out.

// One tick of the song: a row on its first tick, the effects on the others,
// then envelopes, fadeout and auto-vibrato, and every track's voice set.
// The loader makes it the song's tick_handler.
void play_tick(Song* song);

// The song is over: every note is let go as a key-off lets it go, so it
// falls silent through its instrument's release (envelope and fadeout).
// A note whose instrument has no volume envelope plays on instead: a
// key-off would silence it at once, while its sample ends by itself.
void release_notes(const Song* song);

// A tick after the song's end: no row is read; envelopes, fadeout and
// auto-vibrato go on, and every voice takes the song's global_volume at
// once (a fade lowers it tick by tick). True once no voice adds anything
// to the mix until a note starts.
bool play_ring_out_tick(Song* song);

// ===========================================================================
// The song's first pass (song_pass.cpp)

// How long a song plays before it repeats itself: from row 0 of order 0
// until the sequence comes back to an order and row it has already played
// (through the restart position, a position jump or a break), following
// jumps, breaks, pattern loops, pattern delays and speed and tempo changes
// as the tick engine plays them. The rows a pattern loop (E6x) repeats
// count as new each time round.
struct SongPass {
    uint32_t ticks;   // ticks of the first pass
    uint64_t frames;  // output frames those ticks last at the rate asked
    uint32_t rows;    // rows played, a pattern loop's repeats included
    int end_order;    // the order and row, played before, that the
    int end_row;      // sequence comes back to: where a second pass begins
    bool ended;       // false: still no repeat after MAX_PASS_TICKS ticks
};

// About six hours at 50 ticks a second; only a pattern loop that never
// runs out plays that long without repeating a row.
enum { MAX_PASS_TICKS = 1 << 20 };

// Finds the first pass by running play_tick from the start of the song,
// tick by tick as the block fill does, without mixing. The track channels,
// the voices and the song's play state are put back as they were, so it
// may run between loading and playing. False (and *pass zeroed) for a null
// song, a rate outside MIN_OUTPUT_RATE..MAX_OUTPUT_RATE, or while a song
// plays on the output (the mixing thread then owns the tick engine).
bool measure_song_pass(Song* song, int rate, SongPass* pass);

// ===========================================================================
// Music start-up (music_startup.cpp): the intro's three entry points. If
// the sound output does not open, the music is off for the whole run and
// the intro plays silently.

enum { OUTPUT_RATE = 22050 };

extern bool music_disabled;

// Installs the memory source and opens the output at OUTPUT_RATE; sets
// music_disabled when it does not open. Nothing once music_disabled is set.
void start_sound_output(void);

// Loads the module of `size` bytes at `data`. Null while music_disabled is
// set or when the loader refuses the module.
Song* load_embedded_song(const unsigned char* data, int size);

// play_song, unless music_disabled is set or `song` is null.
void start_song(Song* song);

#endif
