// The packed release's decoder against liblzma: what liblzma's raw encoder
// writes, with and without the x86 branch filter, decodes to its input
// under every setting the packer tries and at every length; a damaged
// stream is refused, and never read or written beyond (the ASan build
// runs these too, on buffers of exactly the stated sizes).
#include <gtest/gtest.h>
#include <lzma.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tools/pack/unpack.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Settings {
    unsigned lc, lp, pb;
    bool x86;
    uint32_t offset;  // of the filtered stream's first byte
};

Bytes encode(const Bytes& data, const Settings& s)
{
    lzma_options_lzma lzma;
    lzma_lzma_preset(&lzma, 9 | LZMA_PRESET_EXTREME);
    lzma.lc = s.lc, lzma.lp = s.lp, lzma.pb = s.pb, lzma.dict_size = 1 << 20;
    lzma_options_bcj bcj = {s.offset};
    lzma_filter filters[3] = {{LZMA_FILTER_X86, &bcj}, {LZMA_FILTER_LZMA1, &lzma}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes out(data.size() * 2 + 1024);
    size_t size = 0;
    EXPECT_EQ(lzma_raw_buffer_encode(s.x86 ? filters : filters + 1, nullptr, data.data(), data.size(), out.data(),
                                     &size, out.size()), LZMA_OK);
    out.resize(size);
    return out;
}

// Decodes into exactly `size` bytes from a copy of exactly the stream's
// size; false when the decoder refuses.
bool decode(const Bytes& stream, const Settings& s, size_t size, Bytes* out)
{
    std::vector<uint16_t> model(UNPACK_PROBABILITIES(s.lc + s.lp));
    Bytes input(stream);
    out->assign(size, 0);
    if (!unpack_lzma(input.data(), input.size(), out->data(), size, s.lc, s.lp, s.pb, model.data())) return false;
    if (s.x86) unpack_x86_branches(out->data(), size, s.offset);
    return true;
}

// Encoded by liblzma and decoded again, byte for byte.
bool round_trips(const Bytes& data, const Settings& s)
{
    Bytes out;
    return decode(encode(data, s), s, data.size(), &out) && out == data;
}

// Generated inputs: zeros, noise, text, and bytes dense with E8/E9 and
// operands topped by 00/FF, which work the branch filter's every path;
// and real ones: the song and this test's own x86 code.
std::vector<Bytes> inputs()
{
    auto file = [](const std::string& path, size_t limit) {
        std::ifstream in(path, std::ios::binary);
        Bytes bytes{std::istreambuf_iterator<char>(in), {}};
        bytes.resize(std::min(bytes.size(), limit));
        return bytes;
    };
    std::mt19937 random(20);
    Bytes zeros(4000, 0), noise(4000), text, branches(6000);
    for (uint8_t& b : noise) b = uint8_t(random());
    for (int i = 0; text.size() < 5000; i++) {
        std::string word = "intro" + std::to_string(i % 37 * i % 101) + (i % 3 ? " the " : ", and ");
        text.insert(text.end(), word.begin(), word.end());
    }
    const uint8_t common[] = {0xE8, 0xE9, 0x00, 0xFF, 0x12, 0xE8};
    for (uint8_t& b : branches) b = random() % 3 ? common[random() % 6] : uint8_t(random());
    return {zeros, noise, text, branches, file(std::string(BRINDLEC_SOURCE_DIR) + "/data/song.xm", 10000),
            file("/proc/self/exe", 60000)};
}

// Every setting the packer tries, every length from nothing up, and the
// branch filter at any offset.
TEST(Unpack, DecodesWhatLiblzmaWrites) {
    const std::vector<Bytes> all = inputs();
    ASSERT_EQ(all[4].size(), 10000u);
    ASSERT_EQ(all[5].size(), 60000u);
    for (bool x86 : {false, true})
        for (unsigned lc = 0; lc <= 4; lc++)
            for (unsigned lp : {0u, 2u, 4u})
                for (unsigned pb : {0u, 2u, 4u}) {
                    if (lc + lp > 4) continue;
                    const Settings s = {lc, lp, pb, x86, x86 ? 0x1000u * lc : 0};
                    for (const Bytes& data : all)
                        ASSERT_TRUE(round_trips(data, s)) << lc << lp << pb << x86 << " " << data.size();
                }
    Bytes mixed(all[3].begin(), all[3].begin() + 1500);
    mixed.insert(mixed.end(), all[5].begin() + 4096, all[5].begin() + 6096);
    for (size_t length = 0; length <= mixed.size(); length++)
        ASSERT_TRUE(round_trips(Bytes(mixed.begin(), mixed.begin() + long(length)), {3, 0, 2, true, 0})) << length;
    for (uint32_t offset : {1u, 0x401000u, 0xFFFFFFF0u})  // the targets wrap past 2^32
        EXPECT_TRUE(round_trips(all[3], {0, 0, 0, true, offset})) << offset;
}

TEST(Unpack, RefusesDamagedStreamsAndWrongSizesWithinItsBuffers) {
    const std::vector<Bytes> all = inputs();
    const Settings s = {2, 0, 0, false, 0};
    const Bytes& data = all[3];
    const Bytes stream = encode(data, s);
    Bytes out;
    // Too short or too long an output, properties out of range, a first
    // byte that is not 0, less than the five bytes that start the coder.
    EXPECT_FALSE(decode(stream, s, data.size() - 1, &out));
    EXPECT_FALSE(decode(stream, s, data.size() + 1, &out));
    for (Settings bad : {Settings{3, 2, 0, false, 0}, Settings{2, 0, 5, false, 0}})
        EXPECT_FALSE(decode(stream, bad, data.size(), &out)) << bad.lp << bad.pb;
    Bytes first = stream;
    first[0] = 1;
    EXPECT_FALSE(decode(first, s, data.size(), &out));
    EXPECT_FALSE(decode(Bytes(stream.begin(), stream.begin() + 4), s, 0, &out));
    // Every cut: refused, except that the coder's very last byte may not be
    // needed, and then the output is whole.
    for (size_t cut = 0; cut < stream.size(); cut++) {
        bool decoded = decode(Bytes(stream.begin(), stream.begin() + long(cut)), s, data.size(), &out);
        ASSERT_TRUE(!decoded || (cut + 1 == stream.size() && out == data)) << cut << " of " << stream.size();
    }
    // Random damage, over all three inputs that are not noise: a changed
    // byte almost always leads the decoder off the stream; none may lead
    // it outside its buffers.
    std::mt19937 random(7);
    int refused = 0, tries = 0;
    for (const Bytes* input : {&all[2], &all[3], &all[5]}) {
        const Bytes good = encode(*input, s);
        for (int i = 0; i < 700; i++, tries++) {
            Bytes damaged = good;
            size_t at = 5 + random() % (damaged.size() - 5);
            damaged[at] ^= uint8_t(1 + random() % 255);
            refused += !decode(damaged, s, input->size(), &out);
        }
    }
    EXPECT_GE(refused, tries * 97 / 100) << refused << " of " << tries;
}

}  // namespace
