// Music start-up: the three entry points through which the intro uses the
// music. If the sound output cannot be opened the music is off for the
// whole run and the intro plays silently, without a message.
#include "music/music_engine.h"

bool music_disabled = false;

void start_sound_output(void)
{
    if (music_disabled) return;
    set_file_callbacks(memory_open, memory_close, memory_read, memory_seek, memory_tell);
    if (!open_sound_output(OUTPUT_RATE)) music_disabled = true;
}

Song* load_embedded_song(const unsigned char* data, int size)
{
    if (music_disabled) return nullptr;
    memory_file.position = 0;
    memory_file.size = data && size > 0 ? size : 0;
    memory_file.base = data;
    return load_song("");
}

void start_song(Song* song)
{
    if (!music_disabled && song) play_song(song);
}
