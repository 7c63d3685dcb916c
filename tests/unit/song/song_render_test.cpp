// The embedded song as the player plays it: loaded from the embedded bytes
// by the real loader and rendered block by block through fill_block with
// no device, for the whole first pass through the order list. Set
// BRINDLEC_SONG_WAV to a path to keep the render as a WAV file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "data/embedded_module.h"
#include "music/music.h"
#include "tools/songgen/song_module.h"

namespace {

constexpr int RATE = 22050;

Song* load_embedded(void) {
    set_file_callbacks(memory_open, memory_close, memory_read, memory_seek, memory_tell);
    return load_embedded_song(embedded_module, static_cast<int>(embedded_module_size));
}

struct Render {
    std::vector<int16_t> pcm;          // interleaved stereo
    std::vector<double> order_starts;  // seconds, by order index, first pass
};

// Renders until the order index wraps back (to the restart position).
// Order starts are known to one block (20 ms).
Render render_first_pass(Song* song) {
    Render r;
    r.order_starts.assign(song->song_length, -1.0);
    EXPECT_TRUE(open_offline_output(RATE));
    EXPECT_TRUE(prepare_playback(song));
    const int block = sound_output.block_frames, blocks = sound_output.ring_frames / block;
    // The ring filled by prepare_playback holds the first 100 blocks, long
    // before the title pattern ends.
    EXPECT_EQ(song->order_index, 0);
    r.order_starts[0] = 0.0;
    r.pcm.assign(sound_output.output_buffer, sound_output.output_buffer + 2 * sound_output.ring_frames);
    int last_order = song->order_index;
    while (r.pcm.size() < size_t(2) * RATE * 600) {
        int filled = sound_output.write_block;
        fill_block();
        const int16_t* at = sound_output.output_buffer + 2 * filled * block;
        r.pcm.insert(r.pcm.end(), at, at + 2 * block);
        if (song->order_index == last_order) continue;
        if (song->order_index < last_order) break;  // the list wrapped
        last_order = song->order_index;
        r.order_starts[last_order] = double(r.pcm.size() / 2 - block) / RATE;
        (void)blocks;
    }
    return r;
}

void write_wav(const char* path, const std::vector<int16_t>& pcm) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return;
    auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
    uint32_t bytes = static_cast<uint32_t>(pcm.size() * 2);
    std::fwrite("RIFF", 1, 4, f); u32(36 + bytes); std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16); u16(1); u16(2); u32(RATE); u32(RATE * 4); u16(4); u16(16);
    std::fwrite("data", 1, 4, f); u32(bytes);
    std::fwrite(pcm.data(), 2, pcm.size(), f);
    std::fclose(f);
}

double dbfs(double amplitude) { return 20.0 * std::log10(amplitude / 32768.0); }

class SongRender : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        song = load_embedded();
        ASSERT_NE(song, nullptr);
        render = new Render(render_first_pass(song));
        if (const char* path = std::getenv("BRINDLEC_SONG_WAV")) write_wav(path, render->pcm);
    }
    static Song* song;
    static Render* render;
};
Song* SongRender::song = nullptr;
Render* SongRender::render = nullptr;

TEST_F(SongRender, TheLoaderReadsTheModuleFacts) {
    int without_samples = 0;
    for (int i = 0; i < song->instrument_count; ++i) {
        const Instrument& ins = song->instruments[i];
        if (ins.sample_count == 0) ++without_samples;
        for (int s = 0; s < ins.sample_count; ++s) {
            const Sample* sample = ins.samples[s];
            EXPECT_EQ(sample->bits, 16) << "instrument " << i;  // widened from 8-bit
            EXPECT_LE(sample->loop_start + sample->loop_length, sample->length) << "instrument " << i;
        }
    }
    const struct { const char* what; int got, want; } facts[] = {
        {"channels", song->channel_count, 4},  {"pattern slots", song->pattern_slots, 14},
        {"instruments", song->instrument_count, 13}, {"without samples", without_samples, 1},
        {"linear table", song->flags & 1, 1},  {"speed", song->default_speed, 6},
        {"BPM", song->default_bpm, 130},       {"orders", song->song_length, 58},
        {"restart position", song->restart_position, 4},
    };
    for (const auto& fact : facts) EXPECT_EQ(fact.got, fact.want) << fact.what;
}

TEST_F(SongRender, FirstPassLastsPastTheIntroAndFollowsTheForm) {
    double seconds = double(render->pcm.size() / 2) / RATE;
    EXPECT_GE(seconds, 230.0);
    // The player's order changes fall where the generator's walk puts them.
    double walked = 0.0;
    for (const songgen::OrderSpan& s : songgen::first_pass(songgen::compose_song(), &walked))
        EXPECT_NEAR(render->order_starts.at(s.order), s.start_seconds, 0.025) << "order " << s.order;
    EXPECT_NEAR(seconds, walked, 0.025);
}

TEST_F(SongRender, NoClippingAndPeakNearMinusThreeDecibels) {
    int peak = 0;
    size_t clipped = 0;
    for (int16_t v : render->pcm) {
        peak = std::max(peak, std::abs(int(v)));
        if (v == 32767 || v == -32768) ++clipped;
    }
    EXPECT_EQ(clipped, 0u);
    EXPECT_GT(dbfs(peak), -4.5);
    EXPECT_LT(dbfs(peak), -1.5);
}

TEST_F(SongRender, LoudnessAndNoDcOffset) {
    double sum[2] = {0, 0}, squares = 0;
    for (size_t i = 0; i < render->pcm.size(); ++i) {
        sum[i & 1] += render->pcm[i];
        squares += double(render->pcm[i]) * render->pcm[i];
    }
    double frames = double(render->pcm.size() / 2);
    double rms = std::sqrt(squares / (2 * frames));
    EXPECT_GT(dbfs(rms), -22.0);
    EXPECT_LT(dbfs(rms), -10.0);
    for (double s : sum) EXPECT_LT(std::abs(s / frames), 32.0) << "DC offset";  // 0.1 % of full scale
}

// Windows of 50 ms below -60 dBFS count as silence; the piece never
// stops for longer than a breath.
TEST_F(SongRender, NoLongSilence) {
    const size_t window = RATE / 20;
    size_t run = 0, longest = 0;
    for (size_t start = 0; start + window <= render->pcm.size() / 2; start += window) {
        double squares = 0;
        for (size_t i = 2 * start; i < 2 * (start + window); ++i) squares += double(render->pcm[i]) * render->pcm[i];
        bool silent = dbfs(std::sqrt(squares / (2 * window))) < -60.0;
        run = silent ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    EXPECT_LE(double(longest * window) / RATE, 1.0);
}

}  // namespace
