// Song data model and XM loader: reads a FastTracker 2 Extended Module
// through the song-file operations into a Song with full note grids and
// 16-bit samples prepared for looping.
//
// The module may come from anywhere, so every count, size and offset read
// from it is checked before it sizes an allocation or indexes an array:
// impossible values reject the file, values the player could not follow
// are clamped. A file that ends inside its header, a pattern or an
// instrument is refused with where it ends; one that ends inside the
// sample data of its last instrument loads, the missing values playing as
// silence (as a module cut short in a download usually is).
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "music/music_engine.h"

SongLoadStatus song_load_status = {LOAD_OK, ""};

// Shared all-zero records the tick engine falls back to for missing
// instruments and samples; they belong to no song and are never released.
Sample empty_sample = {};
Instrument empty_instrument = {};

namespace {

const char XM_SIGNATURE[] = "Extended Module: ";  // 17 bytes, trailing blank included
enum {
    SIGNATURE_BYTES = 17,
    HEADER_SIZE_OFFSET = 60,       // header size field; patterns start 60 + size on
    HEADER_END = 80 + MAX_ORDERS,  // end of the order table
    MAX_INSTRUMENTS = 128,         // cells name instruments 1..128
    EMPTY_PATTERN_ROWS = 64,
    INSTRUMENT_FIELDS_SHORT = 29,   // size, name, type, sample count
    INSTRUMENT_FIELDS_FULL = 241,   // ... up to the fadeout
    INSTRUMENT_HEADER_BYTES = 263,  // the format's header size: the fields and 22 reserved bytes
    SAMPLE_HEADER_BYTES = 40,
    MAX_SAMPLE_VOLUME = 64,
    MAX_ENVELOPE_Y = 64,
};

// The open module and what the checks need to know about it.
struct XmReader {
    SongFile* file;
    int64_t size;                     // bytes in the whole source
    int64_t sample_bytes;             // sample data declared so far
    int instrument;                   // the instrument being read, numbered from 1 as cells name it
    bool ran_out;                     // a read wanted bytes beyond the end of the file
    char data_cut[LOAD_REASON_SIZE];  // where the file ends inside sample data; "" if it does not
};

// Records why the module is refused, in one line; returns false for the
// caller to pass on.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
bool refuse(SongLoadError error, const char* format, ...)
{
    song_load_status.error = error;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(song_load_status.reason, LOAD_REASON_SIZE, format, arguments);
    va_end(arguments);
    return false;
}

bool out_of_memory(void) { return refuse(LOAD_NO_MEMORY, "out of memory"); }

int64_t position(XmReader* reader) { return song_file_tell(reader->file); }

// Reads `count` bytes, noting when the file ends before them.
void read_bytes(XmReader* reader, void* destination, int count)
{
    int64_t before = position(reader);
    song_file_read(destination, count, reader->file);
    if (position(reader) - before < count) reader->ran_out = true;
}

// The file ended `where` (a printf format): refused with that. When it
// had already ended inside an earlier instrument's sample data, that is
// where it was cut, and the reason says so instead.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
bool refuse_cut(XmReader* reader, const char* where, ...)
{
    if (reader->data_cut[0]) return refuse(LOAD_CUT_SHORT, "%s", reader->data_cut);
    char text[LOAD_REASON_SIZE];
    va_list arguments;
    va_start(arguments, where);
    std::vsnprintf(text, sizeof text, where, arguments);
    va_end(arguments);
    return refuse(LOAD_CUT_SHORT, "the file ends %s", text);
}

// Little-endian reads. A read past the end delivers nothing, so each
// destination starts at 0 and missing bytes read as 0.
uint8_t read_u8(XmReader* reader)
{
    uint8_t bytes[1] = {0};
    read_bytes(reader, bytes, 1);
    return bytes[0];
}

uint16_t read_u16(XmReader* reader)
{
    uint8_t bytes[2] = {0, 0};
    read_bytes(reader, bytes, 2);
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t read_u32(XmReader* reader)
{
    uint8_t bytes[4] = {0, 0, 0, 0};
    read_bytes(reader, bytes, 4);
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// A text field of `count` bytes into `text` (count + 1 bytes), 0-terminated.
void read_text(XmReader* reader, char* text, int count)
{
    read_bytes(reader, text, count);
    text[count] = '\0';
}

void skip(XmReader* reader, int bytes) { song_file_seek(reader->file, bytes, 1); }

// Size of the source, leaving the read position where it was.
int64_t source_size(SongFile* file)
{
    int here = song_file_tell(file);
    song_file_seek(file, 0, 2);
    int size = song_file_tell(file);
    song_file_seek(file, here, 0);
    return size;
}

// A header that says where the next part begins must neither point back
// into what was just read nor beyond the end of the file.
bool next_part_at(XmReader* reader, int64_t target, int64_t reached)
{
    if (target < reached || target > reader->size) return false;
    song_file_seek(reader->file, static_cast<int>(target), 0);
    return true;
}

// --- Header -----------------------------------------------------------------

bool signature_matches(XmReader* reader)
{
    char signature[SIGNATURE_BYTES] = {};
    song_file_seek(reader->file, 0, 0);
    song_file_read(signature, SIGNATURE_BYTES, reader->file);
    if (std::memcmp(signature, XM_SIGNATURE, SIGNATURE_BYTES) == 0) return true;
    return refuse(LOAD_NOT_XM, "no \"%s\" signature: not an XM module", XM_SIGNATURE);
}

// Title, tracker and format version, between the signature and offset 60.
void read_module_text(Song* song, XmReader* reader)
{
    read_text(reader, song->title, SONG_TEXT_BYTES);
    skip(reader, 1);  // 0x1A
    read_text(reader, song->tracker, SONG_TEXT_BYTES);
    song->format_version = read_u16(reader);
}

// The header fields from offset 60 on; false for values no player could
// follow. The number of stored patterns goes to *stored_patterns.
bool read_header(Song* song, XmReader* reader, int* stored_patterns)
{
    if (reader->size < HEADER_END)
        return refuse_cut(reader, "inside the module header (%lld of its %d bytes)",
                          static_cast<long long>(reader->size), static_cast<int>(HEADER_END));
    uint32_t header_size = read_u32(reader);
    int length = read_u16(reader);
    int restart = read_u16(reader);
    int channel_count = read_u16(reader);
    *stored_patterns = read_u16(reader);
    int instrument_count = read_u16(reader);
    song->flags = read_u16(reader);
    song->default_speed = static_cast<int16_t>(read_u16(reader));
    song->default_bpm = static_cast<int16_t>(read_u16(reader));
    song_file_read(song->orders, MAX_ORDERS, reader->file);
    if (channel_count < 1) return refuse(LOAD_CHANNELS, "no channels");
    if (channel_count > MAX_CHANNELS)
        return refuse(LOAD_CHANNELS, "%d channels; at most %d are played", channel_count, MAX_CHANNELS);
    if (length < 1 || length > MAX_ORDERS)
        return refuse(LOAD_SONG_LENGTH, "song length %d; 1 to %d orders are played", length, MAX_ORDERS);
    if (*stored_patterns > MAX_PATTERNS)
        return refuse(LOAD_PATTERN_COUNT, "%d patterns; at most %d", *stored_patterns, MAX_PATTERNS);
    if (instrument_count > MAX_INSTRUMENTS)
        return refuse(LOAD_INSTRUMENT_COUNT, "%d instruments; at most %d", instrument_count, MAX_INSTRUMENTS);
    // A tempo of 0 has no tick length.
    if (song->default_bpm < 1) return refuse(LOAD_TEMPO, "tempo %d BPM; at least 1", song->default_bpm);
    song->song_length = static_cast<int16_t>(length);
    // After the last order playback continues at the restart position,
    // which must be one of the song's orders.
    song->restart_position = static_cast<int16_t>(restart < length ? restart : 0);
    song->channel_count = static_cast<int16_t>(channel_count);
    song->instrument_count = static_cast<int16_t>(instrument_count);
    // The file holds the whole header of the format's size (to the end of
    // the order table) by now, so a size that reaches past its end is a
    // damaged field, not a file cut short.
    int64_t patterns_at = HEADER_SIZE_OFFSET + static_cast<int64_t>(header_size);
    if (!next_part_at(reader, patterns_at, HEADER_END))
        return refuse(LOAD_OUTSIDE_FILE, "header size %u does not fit the file", header_size);
    return true;
}

// --- Patterns ---------------------------------------------------------------

// One cell: a mask byte (bit 7) naming the fields that follow, or a note
// followed by the four other fields.
void read_cell(XmReader* reader, PatternNote* cell)
{
    uint8_t first = read_u8(reader);
    if (first & 0x80) {
        if (first & 0x01) cell->note = read_u8(reader);
        if (first & 0x02) cell->instrument = read_u8(reader);
        if (first & 0x04) cell->volume = read_u8(reader);
        if (first & 0x08) cell->effect = read_u8(reader);
        if (first & 0x10) cell->param = read_u8(reader);
    } else {
        cell->note = first;
        cell->instrument = read_u8(reader);
        cell->volume = read_u8(reader);
        cell->effect = read_u8(reader);
        cell->param = read_u8(reader);
    }
    // 97 is the file's key off; 98..254 name no note of the 96 and play as none.
    if (cell->note == 97)
        cell->note = NOTE_KEY_OFF;
    else if (cell->note > 97 && cell->note != NOTE_KEY_OFF)
        cell->note = 0;
    if (cell->instrument > MAX_INSTRUMENTS) cell->instrument = 0;
}

bool allocate_pattern(Pattern* pattern, int rows, int channel_count)
{
    pattern->row_count = rows;
    pattern->notes = static_cast<PatternNote*>(
        std::calloc(static_cast<size_t>(rows) * static_cast<size_t>(channel_count), sizeof(PatternNote)));
    return pattern->notes != nullptr || out_of_memory();
}

// A stored pattern: a 9-byte header, then the packed cells row by row.
bool read_pattern(Song* song, XmReader* reader, int number, int stored_patterns)
{
    Pattern* pattern = &song->patterns[number];
    if (position(reader) >= reader->size)
        return refuse_cut(reader, "before pattern %d of %d", number, stored_patterns);
    read_u32(reader);  // header length: taken to be 9 whatever it says
    read_u8(reader);   // packing type
    int rows = read_u16(reader);
    int packed_size = read_u16(reader);
    if (reader->ran_out) return refuse_cut(reader, "inside the header of pattern %d", number);
    if (rows < 1 || rows > MAX_ROWS)
        return refuse(LOAD_PATTERN_ROWS, "pattern %d declares %d rows", number, rows);
    if (!allocate_pattern(pattern, rows, song->channel_count)) return false;
    if (packed_size == 0) return true;  // no bytes stored: every cell empty
    int cells = rows * song->channel_count;
    for (int i = 0; i < cells; ++i) {
        read_cell(reader, &pattern->notes[i]);
        if (reader->ran_out)
            return refuse_cut(reader, "inside pattern %d, at row %d of %d", number, i / song->channel_count,
                              rows);
    }
    return true;
}

bool read_patterns(Song* song, XmReader* reader, int stored_patterns)
{
    int highest = 0;
    for (int i = 0; i < song->song_length; ++i)
        if (song->orders[i] > highest) highest = song->orders[i];
    song->used_pattern_count = highest + 1;
    int slots = song->used_pattern_count > stored_patterns ? song->used_pattern_count : stored_patterns;
    song->patterns = static_cast<Pattern*>(std::calloc(static_cast<size_t>(slots), sizeof(Pattern)));
    if (!song->patterns) return out_of_memory();
    song->pattern_slots = slots;
    for (int p = 0; p < stored_patterns; ++p)
        if (!read_pattern(song, reader, p, stored_patterns)) return false;
    // Patterns the order table plays but the file does not store: 64 empty rows.
    for (int p = stored_patterns; p < song->used_pattern_count; ++p)
        if (!allocate_pattern(&song->patterns[p], EMPTY_PATTERN_ROWS, song->channel_count)) return false;
    return true;
}

// --- Samples ----------------------------------------------------------------

// Loop kind, bit depth and lengths in samples; the loop is kept inside the
// sample, and a loop of no length plays the sample once.
void interpret_sample_header(Sample* sample, uint8_t type)
{
    sample->loop_type = LOOP_NONE;
    sample->bits = 8;
    if (type & 0x01) sample->loop_type = LOOP_FORWARD;
    if (type & 0x02) sample->loop_type = LOOP_PINGPONG;
    if (type & 0x10) sample->bits = 16;
    if (sample->loop_type == LOOP_NONE) {
        sample->loop_start = 0;
        sample->loop_length = sample->length;
    }
    if (sample->bits == 16) {
        sample->length /= 2;
        sample->loop_start /= 2;
        sample->loop_length /= 2;
    }
    if (sample->loop_start > sample->length) sample->loop_start = sample->length;
    if (sample->loop_length > sample->length - sample->loop_start)
        sample->loop_length = sample->length - sample->loop_start;
    if (sample->loop_length == 0) {
        sample->loop_start = 0;
        sample->loop_length = sample->length;
        sample->loop_type = LOOP_NONE;
    }
}

// One 40-byte sample header. False when the sample data it declares
// cannot lie in the file, or for a failed allocation.
bool read_sample_header(XmReader* reader, Sample* sample, int slot)
{
    sample->length = read_u32(reader);
    sample->loop_start = read_u32(reader);
    sample->loop_length = read_u32(reader);
    sample->volume = read_u8(reader);
    sample->finetune = static_cast<int8_t>(read_u8(reader));
    uint8_t type = read_u8(reader);
    sample->panning = read_u8(reader);
    sample->relative_note = static_cast<int8_t>(read_u8(reader));
    skip(reader, 23);  // reserved byte and name
    // All sample data together must fit in the file; a truncated file
    // still loads, its missing bytes playing as silence.
    reader->sample_bytes += sample->length;
    if (reader->sample_bytes > reader->size)
        return refuse(LOAD_OUTSIDE_FILE,
                      "instrument %d, sample %d: %u bytes of data run past the end of the file",
                      reader->instrument, slot, sample->length);
    if (sample->volume > MAX_SAMPLE_VOLUME) sample->volume = MAX_SAMPLE_VOLUME;
    interpret_sample_header(sample, type);
    if (sample->length == 0) return true;
    sample->data = static_cast<int16_t*>(
        std::calloc(static_cast<size_t>(sample->length) + SAMPLE_PADDING, sizeof(int16_t)));
    return sample->data != nullptr || out_of_memory();
}

// Reads the stored values into data as 16-bit values; returns how many
// the file delivered (the rest stay 0).
uint32_t read_sample_values(XmReader* reader, Sample* sample)
{
    unsigned char* bytes = reinterpret_cast<unsigned char*>(sample->data);
    uint32_t width = sample->bits == 16 ? 2 : 1;
    int64_t before = position(reader);
    song_file_read(bytes, static_cast<int>(sample->length * width), reader->file);
    int64_t delivered = position(reader) - before;
    uint32_t count = delivered > 0 ? static_cast<uint32_t>(delivered) / width : 0;
    // Values the file did not deliver (a half value included) are silence.
    std::memset(sample->data + count, 0, (sample->length - count) * sizeof(int16_t));
    if (width == 2) {
        for (uint32_t i = 0; i < count; ++i)
            sample->data[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    } else {
        // Widen in place from the end: byte i lands in the high half of value i.
        for (uint32_t i = count; i-- > 0;)
            sample->data[i] = static_cast<int16_t>(static_cast<uint16_t>(bytes[i] << 8));
    }
    sample->bits = 16;
    return count;
}

// Sample data: stored as deltas; the value after the loop end continues
// the loop so the mixer can interpolate across it. Where the file ends
// inside them is noted: the load goes on, and is refused with that reason
// only if more parts were due.
void read_sample_data(XmReader* reader, Sample* sample, int slot)
{
    if (sample->length == 0) return;
    uint32_t count = read_sample_values(reader, sample);
    if (count < sample->length && !reader->data_cut[0])
        std::snprintf(reader->data_cut, sizeof reader->data_cut,
                      "the file ends inside the data of instrument %d, sample %d, after %u of its %u values",
                      reader->instrument, slot, count, sample->length);
    uint16_t sum = 0;
    for (uint32_t i = 0; i < count; ++i) {
        sum = static_cast<uint16_t>(sum + static_cast<uint16_t>(sample->data[i]));
        sample->data[i] = static_cast<int16_t>(sum);
    }
    uint32_t end = sample->loop_start + sample->loop_length;
    if (sample->loop_type == LOOP_FORWARD) sample->data[end] = sample->data[sample->loop_start];
    if (sample->loop_type == LOOP_PINGPONG) sample->data[end] = sample->data[end - 1];
}

// --- Instruments ------------------------------------------------------------

// Point values span 0..64 for both envelopes (64 full volume, 32 centre).
void read_envelope(XmReader* reader, EnvelopePoint* points)
{
    for (int i = 0; i < ENVELOPE_POINTS_READ; ++i) {
        points[i].x = read_u16(reader);
        uint16_t y = read_u16(reader);
        points[i].y = y < MAX_ENVELOPE_Y ? y : static_cast<uint16_t>(MAX_ENVELOPE_Y);
    }
}

// Only 12 points are stored; an envelope is off below 2 points, and a
// loop that would jump to a point beyond them does not loop.
void check_envelope(uint8_t* points, uint8_t* type, uint8_t loop_start)
{
    if (*points > ENVELOPE_POINTS_READ) *points = ENVELOPE_POINTS_READ;
    if (*points < 2) *type = 0;
    if (loop_start >= *points) *type &= static_cast<uint8_t>(~ENVELOPE_LOOP);
}

// Sample map, envelopes, vibrato and fadeout of an instrument with samples.
void read_instrument_fields(XmReader* reader, Instrument* instrument)
{
    read_u32(reader);  // sample header size: sample headers are taken to be 40 bytes
    song_file_read(instrument->sample_map, SAMPLE_MAP_NOTES, reader->file);
    read_envelope(reader, instrument->volume_envelope);
    read_envelope(reader, instrument->panning_envelope);
    uint8_t fields[14] = {};
    song_file_read(fields, 14, reader->file);
    instrument->volume_points = fields[0];
    instrument->panning_points = fields[1];
    instrument->volume_sustain = fields[2];
    instrument->volume_loop_start = fields[3];
    instrument->volume_loop_end = fields[4];
    instrument->panning_sustain = fields[5];
    instrument->panning_loop_start = fields[6];
    instrument->panning_loop_end = fields[7];
    instrument->volume_type = fields[8];
    instrument->panning_type = fields[9];
    instrument->vibrato_type = fields[10];
    instrument->vibrato_sweep = fields[11];
    instrument->vibrato_depth = fields[12];
    instrument->vibrato_rate = fields[13];
    uint32_t fadeout = 2u * read_u16(reader);
    instrument->fadeout = static_cast<uint16_t>(fadeout < 0xFFFF ? fadeout : 0xFFFF);
    check_envelope(&instrument->volume_points, &instrument->volume_type, instrument->volume_loop_start);
    check_envelope(&instrument->panning_points, &instrument->panning_type, instrument->panning_loop_start);
}

// The sample headers at the end of the instrument header, then the data
// of every sample in slot order.
bool read_instrument_samples(XmReader* reader, Instrument* instrument)
{
    int64_t headers_end = position(reader) + int64_t{SAMPLE_HEADER_BYTES} * instrument->sample_count;
    if (headers_end > reader->size)
        return refuse_cut(reader, "inside the sample headers of instrument %d (%d declared)",
                          reader->instrument, instrument->sample_count);
    for (int i = 0; i < instrument->sample_count; ++i) {
        Sample* sample = static_cast<Sample*>(std::calloc(1, sizeof(Sample)));
        instrument->samples[i] = sample;  // owned by the song from here on
        if (!sample) return out_of_memory();
        if (!read_sample_header(reader, sample, i)) return false;
    }
    for (int i = 0; i < instrument->sample_count; ++i) read_sample_data(reader, instrument->samples[i], i);
    return true;
}

bool read_instrument(XmReader* reader, Instrument* instrument, int instrument_count)
{
    int64_t start = position(reader);
    if (start >= reader->size)
        return refuse_cut(reader, "before instrument %d of %d", reader->instrument, instrument_count);
    uint32_t header_size = read_u32(reader);
    read_text(reader, instrument->name, INSTRUMENT_NAME_BYTES);
    skip(reader, 1);  // type
    int sample_count = read_u16(reader);
    if (sample_count > MAX_SAMPLES_PER_INSTRUMENT)
        return refuse(LOAD_SAMPLE_COUNT, "instrument %d declares %d samples; at most %d", reader->instrument,
                      sample_count, MAX_SAMPLES_PER_INSTRUMENT);
    for (int i = sample_count; i < MAX_SAMPLES_PER_INSTRUMENT; ++i) instrument->samples[i] = &empty_sample;
    int64_t samples_at = start + header_size;
    if (sample_count > 0) {
        instrument->sample_count = sample_count;
        read_instrument_fields(reader, instrument);
    }
    int64_t fields_end = start + (sample_count > 0 ? INSTRUMENT_FIELDS_FULL : INSTRUMENT_FIELDS_SHORT);
    // A size beyond the format's own is a damaged field, not a file cut
    // short, unless the file ends inside the fields anyway.
    bool plausible = header_size <= INSTRUMENT_HEADER_BYTES;
    if (reader->ran_out && !plausible)
        return refuse_cut(reader, "inside the header of instrument %d", reader->instrument);
    if (reader->ran_out || (plausible && samples_at > reader->size))
        return refuse_cut(reader, "inside the header of instrument %d, which declares %u bytes",
                          reader->instrument, header_size);
    if (!next_part_at(reader, samples_at, fields_end))
        return refuse(LOAD_OUTSIDE_FILE, "instrument %d: header size %u does not fit the file",
                      reader->instrument, header_size);
    return sample_count == 0 || read_instrument_samples(reader, instrument);
}

bool read_instruments(Song* song, XmReader* reader)
{
    if (song->instrument_count <= 0) return true;
    song->instruments = static_cast<Instrument*>(
        std::calloc(static_cast<size_t>(song->instrument_count), sizeof(Instrument)));
    if (!song->instruments) return out_of_memory();
    for (int i = 0; i < song->instrument_count; ++i) {
        reader->instrument = i + 1;
        if (!read_instrument(reader, &song->instruments[i], song->instrument_count)) return false;
    }
    return true;
}

}  // namespace

// --- Entry points -----------------------------------------------------------

bool parse_xm(Song* song, SongFile* file)
{
    song_load_status = SongLoadStatus{LOAD_OK, ""};
    if (!song || !file) return refuse(LOAD_NO_SOURCE, "no song source is open");
    XmReader reader = {file, source_size(file), 0, 0, false, ""};
    if (!signature_matches(&reader)) return false;
    song->tick_handler = play_tick;
    song->initial_global_volume = 64;
    read_module_text(song, &reader);
    song_file_seek(file, HEADER_SIZE_OFFSET, 0);
    int stored_patterns = 0;
    if (!read_header(song, &reader, &stored_patterns)) return false;
    if (!read_patterns(song, &reader, stored_patterns)) return false;
    if (!read_instruments(song, &reader)) return false;
    // Loaded; the status still says where sample data were cut short.
    std::snprintf(song_load_status.reason, LOAD_REASON_SIZE, "%s", reader.data_cut);
    return true;
}

Song* load_song(const char* name)
{
    SongFile* file = song_file_open(name);
    if (!file) {
        refuse(LOAD_NO_SOURCE, "the song source does not open");
        return nullptr;
    }
    Song* song = static_cast<Song*>(std::calloc(1, sizeof(Song)));
    bool loaded = song ? parse_xm(song, file) : out_of_memory();
    song_file_close(file);
    if (!loaded) {
        free_song(song);
        return nullptr;
    }
    return song;
}

Song* load_song_from_memory(const unsigned char* data, size_t size, SongLoadStatus* status)
{
    Song* song = nullptr;
    if (size > INT_MAX) {
        refuse(LOAD_TOO_LARGE, "more than %d bytes: too large for a module", INT_MAX);
    } else {
        set_file_callbacks(memory_open, memory_close, memory_read, memory_seek, memory_tell);
        memory_file.position = 0;
        memory_file.size = data ? static_cast<int>(size) : 0;
        memory_file.base = data;
        song = load_song("");
    }
    if (status) *status = song_load_status;
    return song;
}

// Whether a sample is one of the song's own (not the shared empty one).
static bool song_owns_sample(const Song* song, const Sample* sample)
{
    if (!song->instruments) return false;
    for (int i = 0; i < song->instrument_count; ++i) {
        const Instrument* instrument = &song->instruments[i];
        for (int s = 0; s < instrument->sample_count; ++s)
            if (instrument->samples[s] == sample) return true;
    }
    return false;
}

// Voices keep their samples after the song stops (a new song starts on
// voices as the old one left them); those of a song being released would
// read its freed sample data at the next mix, so they fall silent with it.
static void silence_voices_of(const Song* song)
{
    for (int v = 0; v < VOICE_SLOTS; ++v) {
        Voice* voice = &sound_output.voices[v];
        if (!voice->sample || !song_owns_sample(song, voice->sample)) continue;
        voice->sample = nullptr;
        voice->position = 0;
        voice->position_fraction = 0;
    }
}

bool free_song(Song* song)
{
    if (!song) return false;
    while (sound_output.mixing) {
    }
    stop_song(song);
    silence_voices_of(song);
    if (song->instruments) {
        for (int i = 0; i < song->instrument_count; ++i) {
            Instrument* instrument = &song->instruments[i];
            for (int s = 0; s < instrument->sample_count; ++s) {
                if (!instrument->samples[s]) continue;
                std::free(instrument->samples[s]->data);
                std::free(instrument->samples[s]);
            }
        }
        std::free(song->instruments);
    }
    if (song->patterns) {
        for (int p = 0; p < song->pattern_slots; ++p) std::free(song->patterns[p].notes);
        std::free(song->patterns);
    }
    std::free(song);
    return true;
}
