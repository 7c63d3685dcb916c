// brindlec-music: plays an XM module through the intro's music player,
// prints what the loader read, or renders it offline to a WAV file.
//
//   brindlec-music [FILE.xm]                  play until interrupted (Ctrl+C)
//   brindlec-music --info [FILE.xm]           header fields and a summary
//   brindlec-music --wav OUT.wav [--seconds N] [--rate HZ] [FILE.xm]
//   brindlec-music --make-test-module OUT.xm [--channels N]
//
// Without FILE the module embedded in the intro is used.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "data/embedded_module.h"
#include "music/music.h"
#include "platform/platform.h"
#include "tools/common/file_output.h"
#include "tools/music/test_module.h"

namespace {

const char* const USAGE =
    "usage: brindlec-music [FILE.xm]\n"
    "       brindlec-music --info [FILE.xm]\n"
    "       brindlec-music --wav OUT.wav [--seconds N] [--rate HZ] [FILE.xm]\n"
    "       brindlec-music --make-test-module OUT.xm [--channels N]\n";

struct Options {
    std::string module_path;  // empty: the embedded module
    bool info = false;
    std::string wav_path;
    double seconds = 60.0;
    int rate = OUTPUT_RATE;
    std::string test_module_path;
    int channels = 32;
};

volatile std::sig_atomic_t interrupted = 0;
void on_interrupt(int) { interrupted = 1; }

bool parse_number(const char* text, double* value)
{
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

bool parse_options(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool has_value = i + 1 < argc;
        double number = 0;
        if (arg == "--info") {
            options->info = true;
        } else if (arg == "--wav" && has_value) {
            options->wav_path = argv[++i];
        } else if (arg == "--make-test-module" && has_value) {
            options->test_module_path = argv[++i];
        } else if (arg == "--seconds" && has_value && parse_number(argv[++i], &number)) {
            if (!(number > 0 && number <= 24 * 3600)) return false;
            options->seconds = number;
        } else if (arg == "--rate" && has_value && parse_number(argv[++i], &number)) {
            if (number < MIN_OUTPUT_RATE || number > MAX_OUTPUT_RATE || number != static_cast<int>(number))
                return false;
            options->rate = static_cast<int>(number);
        } else if (arg == "--channels" && has_value && parse_number(argv[++i], &number)) {
            if (number < 1 || number > MAX_CHANNELS || number != static_cast<int>(number)) return false;
            options->channels = static_cast<int>(number);
        } else if (!arg.empty() && arg[0] != '-' && options->module_path.empty()) {
            options->module_path = arg;
        } else {
            return false;
        }
    }
    int modes = options->info + !options->wav_path.empty() + !options->test_module_path.empty();
    return modes <= 1;
}

// --- Loading ----------------------------------------------------------------

bool read_file(const std::string& path, std::vector<uint8_t>* bytes)
{
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) return false;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) bytes->insert(bytes->end(), chunk, chunk + got);
    bool failed = std::ferror(in) != 0;
    int error = errno;
    std::fclose(in);
    errno = error;
    return !failed;
}

// Loads through the memory source, as the intro does; a refused module is
// reported with the check it failed.
Song* load_module(const Options& options)
{
    std::string name = options.module_path.empty() ? "the embedded module" : options.module_path;
    std::vector<uint8_t> bytes;
    if (options.module_path.empty()) {
        bytes.assign(embedded_module, embedded_module + embedded_module_size);
    } else if (!read_file(options.module_path, &bytes)) {
        std::fprintf(stderr, "brindlec-music: cannot read %s: %s\n", name.c_str(), std::strerror(errno));
        return nullptr;
    }
    SongLoadStatus status;
    Song* song = load_song_from_memory(bytes.data(), bytes.size(), &status);
    if (!song) std::fprintf(stderr, "brindlec-music: %s: %s\n", name.c_str(), status.reason);
    return song;
}

// --- --info -----------------------------------------------------------------

void print_patterns(const Song* song)
{
    std::printf("patterns: %d slots (%d used by the order table)\n", song->pattern_slots,
                song->used_pattern_count);
    for (int p = 0; p < song->pattern_slots; ++p) {
        const Pattern& pattern = song->patterns[p];
        int notes = 0, effects = 0;
        for (int i = 0; i < pattern.row_count * song->channel_count; ++i) {
            notes += pattern.notes[i].note != 0;
            effects += pattern.notes[i].effect != 0 || pattern.notes[i].param != 0;
        }
        std::printf("  pattern %3d: %3d rows, %4d notes, %4d effects\n", p, pattern.row_count, notes, effects);
    }
}

const char* loop_name(uint8_t loop_type)
{
    return loop_type == LOOP_FORWARD ? "forward" : loop_type == LOOP_PINGPONG ? "ping-pong" : "none";
}

void print_instruments(const Song* song)
{
    std::printf("instruments: %d\n", song->instrument_count);
    for (int i = 0; i < song->instrument_count; ++i) {
        const Instrument& in = song->instruments[i];
        std::printf("  instrument %3d: %2d samples, volume envelope %d points type %d, panning envelope "
                    "%d points type %d, fadeout %u, vibrato %d/%d/%d/%d\n",
                    i + 1, in.sample_count, in.volume_points, in.volume_type, in.panning_points,
                    in.panning_type, in.fadeout, in.vibrato_type, in.vibrato_sweep, in.vibrato_depth,
                    in.vibrato_rate);
        for (int s = 0; s < in.sample_count; ++s) {
            const Sample& sample = *in.samples[s];
            std::printf("    sample %2d: %7u values, loop %s %u+%u, volume %2u, finetune %4d, panning %3d, "
                        "relative note %4d\n",
                        s, sample.length, loop_name(sample.loop_type), sample.loop_start, sample.loop_length,
                        sample.volume, sample.finetune, sample.panning, sample.relative_note);
        }
    }
}

void print_info(const Song* song)
{
    std::printf("song length: %d orders\n", song->song_length);
    std::printf("restart position: %d\n", song->restart_position);
    std::printf("channels: %d\n", song->channel_count);
    std::printf("frequency table: %s\n", song->flags & SONG_LINEAR_FREQUENCIES ? "linear" : "Amiga");
    std::printf("default speed: %d ticks per row\n", song->default_speed);
    std::printf("default tempo: %d BPM\n", song->default_bpm);
    std::printf("orders:");
    for (int i = 0; i < song->song_length; ++i) std::printf(" %d", song->orders[i]);
    std::printf("\n");
    print_patterns(song);
    print_instruments(song);
}

// --- --wav ------------------------------------------------------------------

// The same ring and block fill as playback, with no device, written to the
// file a second of music at a time.
int render_wav(Song* song, const Options& options)
{
    auto started = std::chrono::steady_clock::now();
    const uint64_t total = static_cast<uint64_t>(options.seconds * options.rate + 0.5);
    if (total > MAX_WAV_FRAMES) {
        std::fprintf(stderr, "brindlec-music: %.1f s at %d Hz is more than a WAV file holds (%.1f s at most)\n",
                     options.seconds, options.rate, static_cast<double>(MAX_WAV_FRAMES) / options.rate);
        return 1;
    }
    if (!start_offline_render(song, options.rate)) {
        std::fprintf(stderr, "brindlec-music: cannot render at %d Hz\n", options.rate);
        return 1;
    }
    std::string error;
    WavWriter wav;
    bool ok = open_wav(&wav, options.wav_path, options.rate, total, &error);
    std::vector<int16_t> frames(2 * static_cast<size_t>(options.rate));
    for (uint64_t done = 0; ok && done < total;) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(total - done, options.rate));
        render_offline(frames.data(), n);
        ok = write_wav_frames(&wav, frames.data(), n, &error);
        done += n;
    }
    const bool opened = wav.file != nullptr;
    std::string close_error;
    if (opened && !close_wav(&wav, &close_error) && ok) {
        ok = false;
        error = close_error;
    }
    if (!ok) {
        // A file cut short would still declare every frame: leave none.
        // Only a plain file named as such goes; a device, a pipe or a link
        // given as OUT is left as it was.
        std::error_code ignored;
        if (opened && std::filesystem::symlink_status(options.wav_path, ignored).type() ==
                          std::filesystem::file_type::regular)
            std::filesystem::remove(options.wav_path, ignored);
        std::fprintf(stderr, "brindlec-music: cannot write %s\n", error.c_str());
        return 1;
    }
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "brindlec-music: %.1f s of music in %.3f s (%.0f x real time)\n", options.seconds,
                 elapsed, elapsed > 0 ? options.seconds / elapsed : 0.0);
    return 0;
}

// --- Playing ----------------------------------------------------------------

int play(Song* song, const Options& options)
{
    if (!open_sound_output(options.rate)) {
        std::fprintf(stderr, "brindlec-music: no audio device could be opened at %d Hz\n", options.rate);
        return 1;
    }
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
    play_song(song);
    std::printf("playing %s (Ctrl+C ends)\n",
                options.module_path.empty() ? "the embedded module" : options.module_path.c_str());
    std::fflush(stdout);
    while (!interrupted) platform_sleep_ms(50);
    stop_song(song);
    close_sound_output();
    return 0;
}

int make_test_module(const Options& options)
{
    std::string error;
    if (!write_file(options.test_module_path, build_test_module(options.channels), &error)) {
        std::fprintf(stderr, "brindlec-music: cannot write %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse_options(argc, argv, &options)) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    if (!options.test_module_path.empty()) return make_test_module(options);
    Song* song = load_module(options);
    if (!song) return 1;
    int status = 0;
    if (options.info) print_info(song);
    else if (!options.wav_path.empty()) status = render_wav(song, options);
    else status = play(song, options);
    free_song(song);
    return status;
}
