// The song-file layer and the in-memory source at the ends of the block.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/headless/headless.h"
#include "tests/unit/music/xm_builder.h"

namespace {

// Points the memory source at 10000 bytes 0, 7, 14, ... at `position`.
const std::vector<unsigned char>& block_at(int position)
{
    static std::vector<unsigned char> bytes(10000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7);
    memory_file = {bytes.data(), int(bytes.size()), position};
    return bytes;
}

}  // namespace

TEST(music_memory_source, SeekFromEachOriginAndClamping)
{
    const int cases[][3] = {
        // offset, origin, position from 500
        {100, 0, 100}, {100, 1, 600}, {0, 2, 10000}, {-10, 2, 9990},
        {5, 2, 10000}, {20000, 1, 10000},  // beyond the end: back to the end
        {-600, 1, 0},  {-1, 0, 0},         // before the start: 0
        {123, 3, 500},                     // unknown origin: unchanged
    };
    for (const auto& c : cases) {
        block_at(500);
        memory_seek(1, c[0], c[1]);
        EXPECT_EQ(memory_tell(1), c[2]) << "offset " << c[0] << " origin " << c[1];
    }
}

TEST(music_memory_source, ReadsThroughTheSongFileAreClippedToTheBlock)
{
    const std::vector<unsigned char>& bytes = block_at(42);
    set_file_callbacks(memory_open, memory_close, memory_read, memory_seek, memory_tell);
    SongFile* file = song_file_open("any name at all");  // opening does not rewind
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(song_file_tell(file), 42);
    unsigned char got[10];
    std::memset(got, 0xAA, sizeof got);
    song_file_seek(file, 9995, 0);
    song_file_read(got, 10, file);
    EXPECT_EQ(song_file_tell(file), 10000);
    EXPECT_TRUE(std::equal(got, got + 5, bytes.begin() + 9995));
    EXPECT_EQ(std::count(got, got + 10, 0xAA), 5) << "beyond the end: untouched";
    song_file_read(got, 10, file);
    EXPECT_EQ(std::count(got, got + 10, 0xAA), 5) << "a read at the end delivers nothing";
    memory_file.position = -7;  // below the start reads from the start
    song_file_read(got, 3, file);
    EXPECT_TRUE(std::equal(got, got + 3, bytes.begin()));
    EXPECT_EQ(song_file_tell(file), 3);
    song_file_close(file);
    // A null file does nothing.
    song_file_read(got, 1, nullptr);
    song_file_seek(nullptr, 20, 0);
    song_file_close(nullptr);
    EXPECT_EQ(got[0], bytes[0]);
    EXPECT_EQ(memory_file.position, 3);
    EXPECT_EQ(song_file_tell(nullptr), 0);
}

TEST(music_song_file, RefusingOrIncompleteSourcesOpenNothing)
{
    set_file_callbacks([](const char*) { return 0; }, memory_close, memory_read, memory_seek, memory_tell);
    EXPECT_EQ(song_file_open("song"), nullptr);
    EXPECT_EQ(load_song("song"), nullptr);
    EXPECT_EQ(song_load_status.error, LOAD_NO_SOURCE);
    set_file_callbacks(memory_open, memory_close, nullptr, memory_seek, memory_tell);
    EXPECT_FALSE(file_callbacks_installed());
    EXPECT_EQ(song_file_open("song"), nullptr);
    // Without a song source the output refuses to open, before the device.
    EXPECT_FALSE(open_sound_output(22050));
    EXPECT_FALSE(headless_audio_is_open());
}
