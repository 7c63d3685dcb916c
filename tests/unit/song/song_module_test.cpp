// The embedded song: the generator reproduces data/song.xm, the build
// embeds exactly that file, and the file has the layout and the facts the
// intro relies on (checked with a small reader of our own here, and with
// the player's loader in song_render_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <iterator>
#include <string>
#include <vector>

#include "data/embedded_module.h"
#include "tools/songgen/song_module.h"

namespace {

std::vector<uint8_t> committed_song() {
    std::ifstream in(std::string(BRINDLEC_SOURCE_DIR) + "/data/song.xm", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Little-endian reads that fail the test instead of reading past the end.
struct Reader {
    const std::vector<uint8_t>& bytes;
    size_t at = 0;
    bool ok = true;
    uint32_t read(size_t width) {
        if (at + width > bytes.size()) {
            ok = false;
            return 0;
        }
        uint32_t v = 0;
        for (size_t i = 0; i < width; ++i) v |= uint32_t(bytes[at + i]) << (8 * i);
        at += width;
        return v;
    }
};

struct SampleFacts {
    uint32_t length, loop_start, loop_length;
    int type;
};

struct ModuleFacts {
    int song_length, restart, channels, patterns, instruments, flags, speed, bpm;
    int empty_instruments = 0;
    std::vector<SampleFacts> samples;
    size_t end = 0;  // where the last sample's data ends
};

// Walks the whole file the way the format lays it out: header, each
// pattern by its packed size, each instrument by its header size, sample
// headers and data.
ModuleFacts read_facts(const std::vector<uint8_t>& bytes) {
    ModuleFacts f{};
    Reader r{bytes};
    r.at = 60;
    uint32_t header_size = r.read(4);
    f.song_length = r.read(2);
    f.restart = r.read(2);
    f.channels = r.read(2);
    f.patterns = r.read(2);
    f.instruments = r.read(2);
    f.flags = r.read(2);
    f.speed = r.read(2);
    f.bpm = r.read(2);
    r.at = 60 + header_size;
    for (int p = 0; p < f.patterns && r.ok; ++p) {
        r.read(4);  // header length
        r.read(1);  // packing type
        r.read(2);  // rows
        r.at += r.read(2);
    }
    for (int i = 0; i < f.instruments && r.ok; ++i) {
        size_t start = r.at;
        uint32_t size = r.read(4);
        r.at = start + 27;
        int count = r.read(2);
        r.at = start + size;
        if (count == 0) ++f.empty_instruments;
        size_t data = 0;
        for (int s = 0; s < count && r.ok; ++s) {
            SampleFacts sf{r.read(4), r.read(4), r.read(4), 0};
            r.read(2);
            sf.type = r.read(1);
            r.at += 40 - 15;
            data += sf.length;
            f.samples.push_back(sf);
        }
        r.at += data;
    }
    f.end = r.ok && r.at <= bytes.size() ? r.at : 0;
    return f;
}

TEST(SongModule, RegeneratingReproducesTheCommittedFile) {
    std::vector<uint8_t> committed = committed_song();
    ASSERT_FALSE(committed.empty()) << "data/song.xm is missing";
    EXPECT_EQ(songgen::build_song_module(), committed);
}

TEST(SongModule, TheBuildEmbedsTheCommittedFile) {
    std::vector<uint8_t> committed = committed_song();
    ASSERT_EQ(embedded_module_size, committed.size());
    EXPECT_EQ(0, std::memcmp(embedded_module, committed.data(), committed.size()));
}

TEST(SongModule, LayoutAndHeaderFacts) {
    std::vector<uint8_t> bytes = committed_song();
    ASSERT_EQ(bytes.size(), 10000u);
    ASSERT_EQ(0, std::memcmp(bytes.data(), "Extended Module: ", 17));
    ModuleFacts f = read_facts(bytes);
    EXPECT_EQ(f.end, bytes.size()) << "the parts must fill the file exactly";
    const struct { const char* what; int got, want; } facts[] = {
        {"channels", f.channels, 4},          {"stored patterns", f.patterns, 14},
        {"instruments", f.instruments, 13},   {"instruments without samples", f.empty_instruments, 1},
        {"linear table", f.flags & 1, 1},     {"speed", f.speed, 6},
        {"BPM", f.bpm, 130},                  {"orders", f.song_length, 58},
        {"restart position", f.restart, 4},   {"samples", int(f.samples.size()), 12},
    };
    for (const auto& fact : facts) EXPECT_EQ(fact.got, fact.want) << fact.what;
}

TEST(SongModule, EverySampleIsEightBitWithItsLoopInside) {
    ModuleFacts f = read_facts(committed_song());
    ASSERT_FALSE(f.samples.empty());
    for (size_t i = 0; i < f.samples.size(); ++i) {
        const SampleFacts& s = f.samples[i];
        EXPECT_EQ(s.type & 0x10, 0) << "sample " << i << " is not 8-bit";
        EXPECT_GT(s.length, 0u) << "sample " << i;
        if (s.type & 3) {
            EXPECT_GT(s.loop_length, 0u) << "sample " << i;
            EXPECT_LE(s.loop_start + s.loop_length, s.length) << "sample " << i;
        }
    }
}

// The writer refuses what the loader would have to repair, and the
// generator refuses a module that does not fit the intro's 10000 bytes.
TEST(SongModule, GeneratorRefusesBadLoopsAndOversize) {
    songgen::ModuleData m = songgen::compose_song();
    EXPECT_THROW(songgen::fill_to_size(m, 9999), std::runtime_error);
    m.instruments[4].sample.loop_length += 1;
    EXPECT_THROW(songgen::write_xm(m), std::runtime_error);
}

// The walk used for the report reaches the end of the order list once and
// lasts past the end of the intro (3 min 50 s after the music starts).
TEST(SongModule, FirstPassOutlastsTheIntro) {
    double seconds = 0.0;
    std::vector<songgen::OrderSpan> spans = songgen::first_pass(songgen::compose_song(), &seconds);
    ASSERT_EQ(spans.size(), 58u);
    EXPECT_GE(seconds, 230.0);
    // Sections turn near the scene changes, 6.4, 50.5, 94.5 and 124.5 s
    // after the music starts.
    for (double change : {6.4, 50.5, 94.5, 124.5}) {
        double nearest = 1e9;
        for (const auto& s : spans) nearest = std::min(nearest, std::abs(s.start_seconds - change));
        EXPECT_LT(nearest, 0.5) << "no section starts near " << change << " s";
    }
}

}  // namespace
