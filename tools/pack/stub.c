/* The packed executable's start-up code. The executable reserves the
   intro's own address range, empty and read-write, where the intro was
   linked to run (it has no relocations), and carries the intro's image
   LZMA-compressed in its payload. This code decodes the image into that
   range, binds the image's imports as the system loader would, gives the
   code pages execute-and-read and the constant pages read-only protection
   (nothing runs from writable memory), and starts the intro at its entry
   point.

   It uses kernel32 alone, and only what every Windows from 7 to 11 has:
   LoadLibraryA, GetProcAddress, VirtualProtect, FatalAppExitA. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "tools/pack/packed.h"
#include "tools/pack/unpack.h"

/* The base this executable is loaded at. */
extern const IMAGE_DOS_HEADER __ImageBase;

/* The decoder's model: uninitialised data, which takes no room in the file. */
static uint16_t probabilities[UNPACK_PROBABILITIES(UNPACK_MAX_LC_LP)];

/* Ends the process with a message box naming what failed. */
__attribute__((noreturn)) static void give_up(const char* what)
{
    FatalAppExitA(0, what);
    for (;;) {}
}

/* A 32-bit value at any address (x86 reads it as it is). */
typedef uint32_t unaligned_uint32 __attribute__((aligned(1)));

static const char damaged[] = "The program is damaged.";

/* Every import of the image from its DLL, from the list brindlec-pack put
   after the image (packed.h), into the image's address lists. The caller
   has seen the list end in a zero, so no name runs past it; an address
   list outside the image is damage. */
static void bind_imports(uint8_t* image, uint32_t image_rva, uint32_t image_size, const char* list)
{
    while (*list) {
        const char* dll_name = list;
        HMODULE module = LoadLibraryA(dll_name);
        if (!module) give_up(dll_name);
        while (*list++) {}
        uint32_t at = *(const unaligned_uint32*)list - image_rva;
        for (list += 4; *list; at += 4) {
            if (at >= image_size) give_up(damaged);
            FARPROC* slot = (FARPROC*)(image + at);
            *slot = GetProcAddress(module, list);
            if (!*slot) give_up(list);
            while (*list++) {}
        }
        list++;
    }
}

__attribute__((used)) DWORD WINAPI packed_start(void* unused)
{
    (void)unused;
    uint8_t* base = (uint8_t*)&__ImageBase;
    const PackedHeader* header = &packed_header;
    const PackedSection* sections = packed_sections;
    uint8_t* image = base + header->image_rva;
    size_t decoded = header->image_size + header->imports_size;

    if (header->section_count > PACKED_SECTIONS_MAX ||
        !unpack_lzma(packed_stream, header->stream_size, image, decoded, header->lc, header->lp, header->pb,
                     probabilities))
        give_up(damaged);
    if (header->x86_branches) unpack_x86_branches(image, decoded, 0);
    /* An empty list is one zero; every list ends in one. */
    if (header->imports_size) {
        if (image[decoded - 1] != 0) give_up(damaged);
        bind_imports(image, header->image_rva, header->image_size, (const char*)image + header->image_size);
    }
    for (uint32_t i = 0; i < header->section_count; i++) {
        DWORD previous;
        if (!VirtualProtect(base + sections[i].rva, sections[i].size, sections[i].protection, &previous))
            give_up("VirtualProtect");
    }
    /* The intro's entry ends the process itself. */
    ((void (*)(void))(base + header->entry_rva))();
    return 0;
}
