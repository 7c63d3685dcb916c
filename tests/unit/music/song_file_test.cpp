// The song-file layer and the in-memory source at the ends of the block.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "music/music.h"
#include "platform/headless/headless.h"

namespace {

std::vector<unsigned char> block_of(int size)
{
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) bytes[static_cast<size_t>(i)] = static_cast<unsigned char>(i * 7);
    return bytes;
}

void point_at(const std::vector<unsigned char>& bytes, int position)
{
    memory_file.base = bytes.data();
    memory_file.size = static_cast<int>(bytes.size());
    memory_file.position = position;
}

void install_memory_source()
{
    set_file_callbacks(memory_open, memory_close, memory_read, memory_seek, memory_tell);
}

}  // namespace

TEST(music_memory_source, ReadIsClippedAtTheEndOfTheBlock)
{
    std::vector<unsigned char> bytes = block_of(10000);
    point_at(bytes, 9995);
    unsigned char destination[10];
    std::memset(destination, 0xAA, sizeof destination);
    memory_read(destination, 10, 1);
    EXPECT_EQ(memory_file.position, 10000);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(destination[i], bytes[static_cast<size_t>(9995 + i)]);
    for (int i = 5; i < 10; ++i) EXPECT_EQ(destination[i], 0xAA) << "beyond the end: untouched";

    std::memset(destination, 0x55, sizeof destination);
    memory_read(destination, 10, 1);
    EXPECT_EQ(memory_file.position, 10000);
    for (unsigned char value : destination) EXPECT_EQ(value, 0x55) << "a read at the end delivers nothing";
}

TEST(music_memory_source, SeekFromEachOriginAndClamping)
{
    std::vector<unsigned char> bytes = block_of(10000);
    struct Case {
        int start, offset, whence, expected;
    } cases[] = {
        {500, 100, 0, 100},        // from the start
        {500, 100, 1, 600},        // from the current position
        {500, 0, 2, 10000},        // from the end
        {500, 5, 2, 10000},        // beyond the end: back to the end
        {500, 20000, 1, 10000},
        {500, -10, 2, 9990},
        {500, 123, 3, 500},        // unknown origin: unchanged
        {500, -600, 1, 0},         // before the start: clamped to 0
        {500, -1, 0, 0},
    };
    for (const Case& c : cases) {
        point_at(bytes, c.start);
        memory_seek(1, c.offset, c.whence);
        EXPECT_EQ(memory_file.position, c.expected)
            << "start " << c.start << " offset " << c.offset << " whence " << c.whence;
        EXPECT_EQ(memory_tell(1), c.expected);
    }
}

TEST(music_memory_source, NegativeSeekReadsFromTheStart)
{
    std::vector<unsigned char> bytes = block_of(100);
    point_at(bytes, 10);
    memory_seek(1, -50, 1);
    unsigned char destination[3] = {};
    memory_read(destination, 3, 1);
    EXPECT_EQ(destination[0], bytes[0]);
    EXPECT_EQ(destination[2], bytes[2]);
    EXPECT_EQ(memory_file.position, 3);

    // A position set below 0 by hand is not read from either.
    memory_file.position = -7;
    memory_read(destination, 1, 1);
    EXPECT_EQ(destination[0], bytes[0]);
}

TEST(music_memory_source, OpenReturnsOneAndDoesNotRewind)
{
    std::vector<unsigned char> bytes = block_of(100);
    point_at(bytes, 42);
    EXPECT_EQ(memory_open(""), 1);
    EXPECT_EQ(memory_open("any name at all"), 1);
    EXPECT_EQ(memory_file.position, 42);
    memory_close(1);
    EXPECT_EQ(memory_file.position, 42);
}

TEST(music_song_file, OperationsPassThroughTheInstalledSource)
{
    std::vector<unsigned char> bytes = block_of(64);
    point_at(bytes, 0);
    install_memory_source();
    SongFile* file = song_file_open("song");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->handle, 1);
    song_file_seek(file, 10, 0);
    unsigned char value = 0;
    song_file_read(&value, 1, file);
    EXPECT_EQ(value, bytes[10]);
    EXPECT_EQ(song_file_tell(file), 11);
    song_file_close(file);
}

TEST(music_song_file, NullFileDoesNothing)
{
    std::vector<unsigned char> bytes = block_of(64);
    point_at(bytes, 5);
    install_memory_source();
    unsigned char value = 0x33;
    song_file_read(&value, 1, nullptr);
    song_file_seek(nullptr, 20, 0);
    EXPECT_EQ(value, 0x33);
    EXPECT_EQ(memory_file.position, 5);
    EXPECT_EQ(song_file_tell(nullptr), 0);
    song_file_close(nullptr);
}

namespace {
int refusing_open(const char*) { return 0; }
}  // namespace

TEST(music_song_file, OpenFailsWhenTheSourceRefuses)
{
    set_file_callbacks(refusing_open, memory_close, memory_read, memory_seek, memory_tell);
    EXPECT_EQ(song_file_open("song"), nullptr);
    EXPECT_EQ(load_song("song"), nullptr);
}

TEST(music_song_file, IncompleteCallbackSetInstallsNothing)
{
    install_memory_source();
    EXPECT_TRUE(file_callbacks_installed());
    set_file_callbacks(memory_open, memory_close, nullptr, memory_seek, memory_tell);
    EXPECT_FALSE(file_callbacks_installed());
    EXPECT_EQ(file_callbacks.open, nullptr);
    EXPECT_EQ(file_callbacks.tell, nullptr);
    EXPECT_EQ(song_file_open("song"), nullptr);
    // Without a song source the output refuses to open, before the device.
    EXPECT_FALSE(open_sound_output(22050));
    EXPECT_FALSE(headless_audio_is_open());
}
