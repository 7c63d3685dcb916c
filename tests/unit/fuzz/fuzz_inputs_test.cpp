// Replays the fuzzer's seed modules and every input that ever crashed or
// hung the player (tests/fuzz/regressions) through the fuzz harness's own
// load-and-play routine, so each stays fixed in the normal suite and under
// the sanitizer builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "tests/fuzz/play_module.h"

namespace {

namespace fs = std::filesystem;

struct Input {
    std::string folder;  // corpus or regressions
    fs::path path;
};

// Shown in test listings: the file, not the record's bytes.
void PrintTo(const Input& input, std::ostream* out) { *out << input.folder << "/" << input.path.filename().string(); }

std::vector<Input> inputs_in(const std::string& folder)
{
    std::vector<Input> inputs;
    fs::path dir = fs::path(BRINDLEC_SOURCE_DIR) / "tests" / "fuzz" / folder;
    if (!fs::is_directory(dir)) return inputs;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
            inputs.push_back({folder, entry.path()});
    std::sort(inputs.begin(), inputs.end(), [](const Input& a, const Input& b) { return a.path < b.path; });
    return inputs;
}

std::vector<Input> all_inputs()
{
    std::vector<Input> inputs = inputs_in("corpus");
    std::vector<Input> regressions = inputs_in("regressions");
    inputs.insert(inputs.end(), regressions.begin(), regressions.end());
    return inputs;
}

std::vector<uint8_t> read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string input_name(const ::testing::TestParamInfo<Input>& info)
{
    std::string name = info.param.folder + "_" + info.param.path.stem().string();
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

class fuzz_inputs : public ::testing::TestWithParam<Input> {};

}  // namespace

// The seeds are whole modules: they load and play their full few hundred
// ticks. A regression input only has to come through without a fault; the
// harness aborts on a non-finite mixed value or a voice beyond its sample.
TEST_P(fuzz_inputs, LoadsAndPlaysWithoutFault)
{
    std::vector<uint8_t> bytes = read_file(GetParam().path);
    ASSERT_FALSE(bytes.empty()) << GetParam().path;
    fuzz_play::PlayResult result = fuzz_play::play_module(bytes.data(), bytes.size());
    if (GetParam().folder == "corpus") {
        EXPECT_TRUE(result.loaded);
        EXPECT_GE(result.ticks, int{fuzz_play::TICK_LIMIT});
    }
    EXPECT_LE(result.blocks, 100 + int{fuzz_play::EXTRA_BLOCK_LIMIT});
    // Everything the run took was given back.
    EXPECT_EQ(sound_output.playing_song, nullptr);
    EXPECT_EQ(sound_output.mix_buffer, nullptr);
    EXPECT_EQ(sound_output.output_buffer, nullptr);
}

INSTANTIATE_TEST_SUITE_P(files, fuzz_inputs, ::testing::ValuesIn(all_inputs()), input_name);
