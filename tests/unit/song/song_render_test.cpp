// The embedded song as the player plays it: loaded from the embedded bytes
// by the real loader and rendered offline block by block, for the whole
// first pass through the order list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "data/embedded_module.h"
#include "music/music.h"
#include "tools/songgen/song_module.h"

namespace {

constexpr int RATE = 22050;

double dbfs(double amplitude) { return 20.0 * std::log10(amplitude / 32768.0); }

class SongRender : public ::testing::Test {
protected:
    // Renders until the order index wraps back to the restart position,
    // noting when each order starts (to one block, 20 ms).
    static void SetUpTestSuite()
    {
        song = load_song_from_memory(embedded_module, embedded_module_size, nullptr);
        ASSERT_NE(song, nullptr);
        ASSERT_TRUE(start_offline_render(song, RATE));  // 100 blocks, long before the title pattern ends
        order_starts.assign(song->song_length, -1.0);
        order_starts[0] = 0.0;
        // Each block heard is mixed anew a ring ahead: that is where an
        // order change shows.
        const uint32_t block = static_cast<uint32_t>(sound_output.block_frames);
        const uint32_t ring = static_cast<uint32_t>(sound_output.ring_frames);
        std::vector<int16_t> heard(2 * ring);
        for (int order = 0; song->order_index >= order && pcm.size() < size_t(2) * RATE * 600;) {
            render_offline(heard.data(), block);
            pcm.insert(pcm.end(), heard.begin(), heard.begin() + 2 * block);
            if (song->order_index > order)
                order_starts[order = song->order_index] = double(offline_played_frames + ring - block) / RATE;
        }
        render_offline(heard.data(), ring);  // the ring mixed but not yet heard
        pcm.insert(pcm.end(), heard.begin(), heard.end());
    }
    static Song* song;
    static std::vector<int16_t> pcm;  // interleaved stereo
    static std::vector<double> order_starts;
};
Song* SongRender::song = nullptr;
std::vector<int16_t> SongRender::pcm;
std::vector<double> SongRender::order_starts;

}  // namespace

TEST_F(SongRender, FirstPassLastsPastTheIntroAndFollowsTheForm)
{
    const double seconds = double(pcm.size() / 2) / RATE;
    EXPECT_GE(seconds, 230.0);
    // The player's order changes fall where the generator's walk puts them.
    double walked = 0.0;
    for (const songgen::OrderSpan& s : songgen::first_pass(songgen::compose_song(), &walked))
        EXPECT_NEAR(order_starts.at(s.order), s.start_seconds, 0.025) << "order " << s.order;
    EXPECT_NEAR(seconds, walked, 0.025);
}

TEST_F(SongRender, PeakNearMinus3DecibelsUnclippedLoudEnoughNoDcAndNoLongSilence)
{
    int peak = 0;
    double sum[2] = {0, 0}, squares = 0;
    for (size_t i = 0; i < pcm.size(); ++i) {
        peak = std::max(peak, std::abs(int(pcm[i])));
        sum[i & 1] += pcm[i];
        squares += double(pcm[i]) * pcm[i];
    }
    EXPECT_LT(peak, 32767) << "clipped";
    EXPECT_GT(dbfs(peak), -4.5);
    EXPECT_LT(dbfs(peak), -1.5);
    const double frames = double(pcm.size() / 2);
    EXPECT_GT(dbfs(std::sqrt(squares / (2 * frames))), -22.0);
    EXPECT_LT(dbfs(std::sqrt(squares / (2 * frames))), -10.0);
    for (double s : sum) EXPECT_LT(std::abs(s / frames), 32.0) << "DC offset";  // 0.1 % of full scale
    // Windows of 50 ms below -60 dBFS are silence; it never lasts over 1 s.
    const size_t window = RATE / 20;
    size_t run = 0, longest = 0;
    for (size_t start = 0; start + window <= pcm.size() / 2; start += window) {
        double window_squares = 0;
        for (size_t i = 2 * start; i < 2 * (start + window); ++i) window_squares += double(pcm[i]) * pcm[i];
        run = dbfs(std::sqrt(window_squares / (2 * window))) < -60.0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    EXPECT_LE(double(longest * window) / RATE, 1.0);
}
