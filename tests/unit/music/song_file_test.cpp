// The song-file layer and the in-memory source: where a seek lands, and
// the refusals when no usable source is installed.
#include <gtest/gtest.h>

#include "platform/headless/headless.h"
#include "tests/unit/music/xm_builder.h"

TEST(music_song_file, SeeksLandInsideTheBlockAndRefusingSourcesOpenNothing) {
    static const unsigned char bytes[10000] = {};
    set_file_callbacks(memory_open, memory_close, memory_read, memory_seek, memory_tell);
    const int cases[][3] = {
        // offset, origin, position from 500: beyond the end is the end,
        // before the start the start, an unknown origin changes nothing
        {100, 0, 100}, {100, 1, 600}, {0, 2, 10000}, {-10, 2, 9990}, {5, 2, 10000}, {20000, 1, 10000},
        {-600, 1, 0},  {-1, 0, 0},    {123, 3, 500},
    };
    for (const auto& c : cases) {
        memory_file = {bytes, 10000, 500};
        SongFile* file = song_file_open("any name: opening does not rewind");
        ASSERT_TRUE(file && song_file_tell(file) == 500);
        song_file_seek(file, c[0], c[1]);
        EXPECT_EQ(song_file_tell(file), c[2]) << "offset " << c[0] << " origin " << c[1];
        song_file_close(file);
    }
    set_file_callbacks([](const char*) { return 0; }, memory_close, memory_read, memory_seek, memory_tell);
    EXPECT_EQ(load_song("song"), nullptr);
    EXPECT_EQ(song_load_status.error, LOAD_NO_SOURCE);
    set_file_callbacks(memory_open, memory_close, nullptr, memory_seek, memory_tell);
    EXPECT_FALSE(file_callbacks_installed() || song_file_open("song"));
    // Without a song source the output refuses to open, before the device.
    EXPECT_FALSE(open_sound_output(22050) || headless_audio_is_open());
    EXPECT_EQ(song_file_tell(nullptr), 0);
}
