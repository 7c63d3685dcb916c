// What a player reads of the output while a song plays: the song it
// plays, and each block's peak as the ring holds it, against the frames
// the device then plays from that block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "tests/unit/music/xm_builder.h"

namespace {

TEST(music_sound_output, BlockPeaksAreThoseTheDevicePlays) {
    std::vector<int16_t> heard(8, 7);
    render_offline(heard.data(), 4);
    EXPECT_TRUE(!output_block_frames() && !output_block_peak(0) && !output_song() && heard == std::vector<int16_t>(8))
        << "nothing opened yet: silence";
    // A note every 4 rows, each louder than the one before, between rests.
    TestModule module = tick_module();
    for (int r = 0; r < 64; r += 4) module.put(0, r, 0, cell(C4, 0x10 + r));
    for (int r = 2; r < 64; r += 4) module.put(0, r, 0, cell(KEY_OFF));
    Song* song = load_bytes(build_module(module));
    ASSERT_TRUE(song && start_offline_render(song, OUTPUT_RATE) && output_song() == song);
    const int block = output_block_frames(), blocks = 100;
    ASSERT_EQ(block, 444);
    // The ring holds blocks 0..99, then, once the device has played them,
    // blocks 100..199 in the same places.
    std::vector<int16_t> frames(2 * size_t(block));
    std::set<int> seen;
    for (int lap = 0; lap < 2; ++lap) {
        std::vector<int> held, played;
        for (int b = 0; b < blocks; ++b) held.push_back(output_block_peak(uint64_t(lap * blocks + b)));
        for (int b = 0; b < blocks; ++b) {
            render_offline(frames.data(), uint32_t(block));
            int peak = 0;
            for (int16_t v : frames) peak = std::max(peak, std::abs(int(v)));
            played.push_back(peak);
        }
        EXPECT_EQ(held, played) << "lap " << lap;
        seen.insert(played.begin(), played.end());
    }
    EXPECT_TRUE(seen.size() > 10 && seen.count(0)) << "rests and notes of many volumes";
    free_song(song);
    EXPECT_EQ(output_song(), nullptr);
}

}  // namespace
