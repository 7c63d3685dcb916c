// The embedded song: the generator reproduces data/song.xm, the build
// embeds exactly that file, and the player, rendering it offline block by
// block for the whole first pass through the order list, plays the form
// the generator composed, loud enough, unclipped and without long silence.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "data/embedded_module.h"
#include "music/music_engine.h"
#include "tools/songgen/song_module.h"

namespace {

double dbfs(double amplitude) { return 20.0 * std::log10(amplitude / 32768.0); }

TEST(SongModule, TheCommittedFileIsWhatTheGeneratorWritesAndWhatTheBuildEmbeds) {
    std::ifstream in(std::string(BRINDLEC_SOURCE_DIR) + "/data/song.xm", std::ios::binary);
    const std::vector<uint8_t> committed{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(committed.size(), 10000u) << "data/song.xm fills the intro's 10000 bytes";
    EXPECT_EQ(songgen::build_song_module(), committed);
    EXPECT_EQ(std::vector<uint8_t>(embedded_module, embedded_module + embedded_module_size), committed);
    // The writer refuses what the loader would have to repair, and the
    // generator a module that does not fit.
    songgen::ModuleData module = songgen::compose_song();
    EXPECT_THROW(songgen::fill_to_size(module, 9999), std::runtime_error);
    module.instruments[4].sample.loop_length += 1;
    EXPECT_THROW(songgen::write_xm(module), std::runtime_error);
}

// The first pass through the order list, rendered offline block by block
// until the order index wraps back to the restart position.
TEST(SongRender, FirstPassFollowsTheFormLoudUnclippedAndWithoutLongSilence) {
    SongLoadStatus status;
    Song* song = load_song_from_memory(embedded_module, embedded_module_size, &status);
    ASSERT_TRUE(song && start_offline_render(song, OUTPUT_RATE)) << status.reason;
    // When each order starts, to one block (20 ms): each block heard is
    // mixed anew a ring ahead, which is where an order change shows.
    std::vector<double> order_starts(size_t(song->song_length), 0.0);
    const uint32_t block = uint32_t(sound_output.block_frames), ring = uint32_t(sound_output.ring_frames);
    std::vector<int16_t> pcm, heard(2 * ring);  // interleaved stereo
    for (int order = 0; song->order_index >= order && pcm.size() < size_t(2) * OUTPUT_RATE * 600;) {
        render_offline(heard.data(), block);
        pcm.insert(pcm.end(), heard.begin(), heard.begin() + 2 * block);
        if (song->order_index > order)
            order_starts.at(order = song->order_index) = double(offline_played_frames + ring - block) / OUTPUT_RATE;
    }
    render_offline(heard.data(), ring);  // the ring mixed but not yet heard
    pcm.insert(pcm.end(), heard.begin(), heard.end());
    free_song(song);
    const double seconds = double(pcm.size() / 2) / OUTPUT_RATE;
    EXPECT_GE(seconds, 230.0);  // the intro ends 3 min 50 s after the music starts
    // The player's order changes fall where the generator's walk puts them,
    // and its sections turn near the scene changes.
    double walked = 0.0;
    const std::vector<songgen::OrderSpan> spans = songgen::first_pass(songgen::compose_song(), &walked);
    ASSERT_EQ(spans.size(), order_starts.size());
    for (const songgen::OrderSpan& s : spans)
        EXPECT_NEAR(order_starts.at(size_t(s.order)), s.start_seconds, 0.025) << "order " << s.order;
    EXPECT_NEAR(seconds, walked, 0.025);
    for (double change : {6.4, 50.5, 94.5, 124.5})
        EXPECT_TRUE(std::any_of(spans.begin(), spans.end(), [&](const auto& s) {
            return std::abs(s.start_seconds - change) < 0.5;
        })) << "no section starts near " << change << " s";
    int peak = 0;
    double sum[2] = {0, 0}, squares = 0;
    for (size_t i = 0; i < pcm.size(); ++i) {
        peak = std::max(peak, std::abs(int(pcm[i])));
        sum[i & 1] += pcm[i];
        squares += double(pcm[i]) * pcm[i];
    }
    const double frames = double(pcm.size() / 2), rms = dbfs(std::sqrt(squares / (2 * frames)));
    EXPECT_TRUE(peak < 32767 && dbfs(peak) > -4.5 && dbfs(peak) < -1.5) << "unclipped, near -3 dBFS: " << dbfs(peak);
    // Loud enough, and no DC offset above 0.1 % of full scale.
    EXPECT_TRUE(rms > -22.0 && rms < -10.0 && std::abs(sum[0] / frames) < 32 && std::abs(sum[1] / frames) < 32) << rms;
    // Windows of 50 ms below -60 dBFS are silence; it never lasts over 1 s.
    const size_t window = OUTPUT_RATE / 20;
    size_t run = 0, longest = 0;
    for (size_t start = 0; start + window <= pcm.size() / 2; start += window) {
        double window_squares = 0;
        for (size_t i = 2 * start; i < 2 * (start + window); ++i) window_squares += double(pcm[i]) * pcm[i];
        run = dbfs(std::sqrt(window_squares / (2 * window))) < -60.0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    EXPECT_LE(double(longest * window) / OUTPUT_RATE, 1.0);
}

}  // namespace
