// The song-file layer and the in-memory source at the ends of the block.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/headless/headless.h"
#include "tests/unit/music/xm_builder.h"

namespace {

// Points the memory source at `size` bytes 0, 7, 14, ... (kept for the
// test's lifetime), at `position`.
const std::vector<unsigned char>& block_at(int size, int position)
{
    static std::vector<unsigned char> bytes;
    bytes.resize(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) bytes[static_cast<size_t>(i)] = static_cast<unsigned char>(i * 7);
    memory_file.base = bytes.data();
    memory_file.size = size;
    memory_file.position = position;
    return bytes;
}

}  // namespace

TEST(music_memory_source, ReadIsClippedAtTheEndOfTheBlockAndBeforeItsStart)
{
    const std::vector<unsigned char>& bytes = block_at(10000, 9995);
    unsigned char destination[10];
    std::memset(destination, 0xAA, sizeof destination);
    memory_read(destination, 10, 1);
    EXPECT_EQ(memory_file.position, 10000);
    EXPECT_TRUE(std::equal(destination, destination + 5, bytes.begin() + 9995));
    EXPECT_EQ(std::count(destination, destination + 10, 0xAA), 5) << "beyond the end: untouched";
    memory_read(destination, 10, 1);
    EXPECT_EQ(std::count(destination, destination + 10, 0xAA), 5) << "a read at the end delivers nothing";
    // A seek before the start reads from the start, and so does a position
    // set below 0 by hand.
    memory_seek(1, -10050, 1);
    memory_read(destination, 3, 1);
    EXPECT_TRUE(std::equal(destination, destination + 3, bytes.begin()));
    EXPECT_EQ(memory_file.position, 3);
    memory_file.position = -7;
    memory_read(destination + 5, 1, 1);
    EXPECT_EQ(destination[5], bytes[0]);
}

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
        block_at(10000, 500);
        memory_seek(1, c[0], c[1]);
        EXPECT_EQ(memory_file.position, c[2]) << "offset " << c[0] << " origin " << c[1];
        EXPECT_EQ(memory_tell(1), c[2]);
    }
}

TEST(music_song_file, OperationsPassThroughTheInstalledSourceWhichOpensWithoutRewinding)
{
    const std::vector<unsigned char>& bytes = block_at(64, 42);
    install_memory_source();
    EXPECT_EQ(memory_open("any name at all"), 1);
    EXPECT_EQ(memory_file.position, 42);
    SongFile* file = song_file_open("song");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->handle, 1);
    song_file_seek(file, 10, 0);
    unsigned char value = 0;
    song_file_read(&value, 1, file);
    EXPECT_EQ(value, bytes[10]);
    EXPECT_EQ(song_file_tell(file), 11);
    song_file_close(file);
    EXPECT_EQ(memory_file.position, 11);
    // A null file does nothing.
    song_file_read(&value, 1, nullptr);
    song_file_seek(nullptr, 20, 0);
    song_file_close(nullptr);
    EXPECT_EQ(value, bytes[10]);
    EXPECT_EQ(memory_file.position, 11);
    EXPECT_EQ(song_file_tell(nullptr), 0);
}

TEST(music_song_file, RefusingOrIncompleteSourcesOpenNothing)
{
    set_file_callbacks([](const char*) { return 0; }, memory_close, memory_read, memory_seek, memory_tell);
    EXPECT_EQ(song_file_open("song"), nullptr);
    EXPECT_EQ(load_song("song"), nullptr);
    EXPECT_EQ(song_load_status.error, LOAD_NO_SOURCE);
    install_memory_source();
    EXPECT_TRUE(file_callbacks_installed());
    set_file_callbacks(memory_open, memory_close, nullptr, memory_seek, memory_tell);
    EXPECT_FALSE(file_callbacks_installed());
    EXPECT_EQ(file_callbacks.open, nullptr);
    EXPECT_EQ(song_file_open("song"), nullptr);
    // Without a song source the output refuses to open, before the device.
    EXPECT_FALSE(open_sound_output(22050));
    EXPECT_FALSE(headless_audio_is_open());
}
