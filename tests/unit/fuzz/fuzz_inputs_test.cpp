// Replays the fuzzer's seed modules and every input that ever crashed or
// hung the player (tests/fuzz/regressions) through the fuzz harness's own
// load-and-play routine, so each stays fixed in the normal suite and under
// the sanitizer builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/fuzz/play_module.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> all_inputs() {
    std::vector<fs::path> inputs;
    for (const char* folder : {"corpus", "regressions"})
        for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(BRINDLEC_SOURCE_DIR) / "tests/fuzz" / folder))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

std::string input_name(const ::testing::TestParamInfo<fs::path>& info) {
    std::string name = info.param.parent_path().filename().string() + "_" + info.param.stem().string();
    std::replace_if(name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
}

class fuzz_inputs : public ::testing::TestWithParam<fs::path> {};

}  // namespace

// The seeds are whole modules: they load and play their full few hundred
// ticks. A regression input only has to come through without a fault; the
// harness aborts on a non-finite mixed value or a voice beyond its sample.
TEST_P(fuzz_inputs, LoadsAndPlaysWithoutFault) {
    std::ifstream in(GetParam(), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    ASSERT_FALSE(bytes.empty()) << GetParam();
    const fuzz_play::PlayResult result = fuzz_play::play_module(bytes.data(), bytes.size());
    const bool seed = GetParam().parent_path().filename() == "corpus";
    EXPECT_TRUE(!seed || (result.loaded && result.ticks >= int{fuzz_play::TICK_LIMIT}));
    EXPECT_LE(result.blocks, 100 + int{fuzz_play::EXTRA_BLOCK_LIMIT});
    // Everything the run took was given back.
    EXPECT_TRUE(!sound_output.playing_song && !sound_output.mix_buffer && !sound_output.output_buffer);
}

INSTANTIATE_TEST_SUITE_P(files, fuzz_inputs, ::testing::ValuesIn(all_inputs()), input_name);
