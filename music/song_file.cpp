// Song-file operations and the in-memory source: the loader reads its
// module through five replaceable operations, and the one source the
// intro installs is a read-only view of the module bytes in memory.
#include <cstdlib>
#include <cstring>

#include "music/music_engine.h"

FileCallbacks file_callbacks = {nullptr, nullptr, nullptr, nullptr, nullptr};
MemoryFile memory_file = {nullptr, 0, 0};

// --- Memory source ------------------------------------------------------------

int memory_open(const char*) { return 1; }  // one source; opening does not rewind it

void memory_close(int) {}

void memory_read(void* destination, int count, int)
{
    // A position below 0 (a negative seek) reads as the start of the block.
    if (memory_file.position < 0) memory_file.position = 0;
    int available = memory_file.size - memory_file.position;
    if (count > available) count = available;
    if (count <= 0 || !destination || !memory_file.base) return;
    std::memcpy(destination, memory_file.base + memory_file.position, static_cast<size_t>(count));
    memory_file.position += count;
}

void memory_seek(int, int offset, int whence)
{
    int64_t position = memory_file.position;
    if (whence == 0)
        position = offset;
    else if (whence == 1)
        position += offset;
    else if (whence == 2)
        position = static_cast<int64_t>(memory_file.size) + offset;
    if (position > memory_file.size) position = memory_file.size;
    if (position < 0) position = 0;
    memory_file.position = static_cast<int>(position);
}

int memory_tell(int) { return memory_file.position; }

// --- Callback set ---------------------------------------------------------------

void set_file_callbacks(int (*open)(const char*), void (*close)(int), void (*read)(void*, int, int),
                        void (*seek)(int, int, int), int (*tell)(int))
{
    if (open && close && read && seek && tell) {
        file_callbacks = {open, close, read, seek, tell};
    } else {
        file_callbacks = {nullptr, nullptr, nullptr, nullptr, nullptr};
    }
}

bool file_callbacks_installed(void) { return file_callbacks.open != nullptr; }

// --- Song-file layer ------------------------------------------------------------

SongFile* song_file_open(const char* name)
{
    if (!file_callbacks_installed()) return nullptr;
    SongFile* file = static_cast<SongFile*>(std::calloc(1, sizeof(SongFile)));
    if (!file) return nullptr;
    file->handle = file_callbacks.open(name);
    if (file->handle == 0) {
        std::free(file);
        return nullptr;
    }
    return file;
}

void song_file_close(SongFile* file)
{
    if (!file) return;
    file_callbacks.close(file->handle);
    std::free(file);
}

void song_file_read(void* destination, int count, SongFile* file)
{
    if (file) file_callbacks.read(destination, count, file->handle);
}

void song_file_seek(SongFile* file, int offset, int whence)
{
    if (file) file_callbacks.seek(file->handle, offset, whence);
}

int song_file_tell(SongFile* file) { return file ? file_callbacks.tell(file->handle) : 0; }
