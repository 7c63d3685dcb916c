// Replays the fuzzer's seed modules and every input that ever crashed or
// hung the player (tests/fuzz/regressions) through the fuzz harness's own
// load-and-play routine, so each stays fixed in the normal suite and under
// the sanitizer builds. The seeds are whole modules: they load and play
// their full few hundred ticks. A regression only has to come through
// without a fault; the harness aborts on a non-finite mixed value or a
// voice beyond its sample.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/fuzz/play_module.h"

TEST(fuzz_inputs, LoadAndPlayWithoutFault) {
    for (const std::string folder : {"corpus", "regressions"})
        for (const auto& entry : std::filesystem::directory_iterator(BRINDLEC_SOURCE_DIR "/tests/fuzz/" + folder)) {
            if (entry.path().filename().string()[0] == '.') continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            const fuzz_play::PlayResult result = fuzz_play::play_module(bytes.data(), bytes.size());
            const bool played = folder != "corpus" || (result.loaded && result.ticks >= int{fuzz_play::TICK_LIMIT});
            EXPECT_TRUE(played && result.blocks <= 100 + fuzz_play::EXTRA_BLOCK_LIMIT) << entry.path();
            // Everything the run took was given back.
            EXPECT_TRUE(!sound_output.playing_song && !sound_output.mix_buffer && !sound_output.output_buffer);
        }
}
