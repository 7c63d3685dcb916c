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

/* The payload (brindlec-pack's output: a PackedHeader, the section list
   and the stream) and the base this executable is loaded at. */
extern const uint8_t packed_payload[];
extern const IMAGE_DOS_HEADER __ImageBase;

/* The decoder's model: uninitialised data, which takes no room in the file. */
static uint16_t probabilities[UNPACK_PROBABILITIES(UNPACK_MAX_LC_LP)];

/* Ends the process with a message box naming what failed. */
__attribute__((noreturn)) static void give_up(const char* what)
{
    FatalAppExitA(0, what);
    for (;;) {}
}

/* Every import of the image from its DLL, by name (brindlec-pack lets no
   other kind through), into the image's address lists. */
static void bind_imports(uint8_t* base, uint32_t directory_rva)
{
    if (!directory_rva) return;
    for (const IMAGE_IMPORT_DESCRIPTOR* dll = (const IMAGE_IMPORT_DESCRIPTOR*)(base + directory_rva); dll->Name;
         dll++) {
        const char* dll_name = (const char*)base + dll->Name;
        HMODULE module = LoadLibraryA(dll_name);
        if (!module) give_up(dll_name);
        const uint32_t* names = (const uint32_t*)(base + dll->OriginalFirstThunk);
        FARPROC* slots = (FARPROC*)(base + dll->FirstThunk);
        for (; *names; names++, slots++) {
            const char* name = (const char*)base + *names + 2; /* after the hint */
            *slots = GetProcAddress(module, name);
            if (!*slots) give_up(name);
        }
    }
}

__attribute__((used)) DWORD WINAPI packed_start(void* unused)
{
    (void)unused;
    uint8_t* base = (uint8_t*)&__ImageBase;
    const PackedHeader* header = (const PackedHeader*)packed_payload;
    const PackedSection* sections = (const PackedSection*)(header + 1);
    const uint8_t* stream = (const uint8_t*)(sections + header->section_count);
    uint8_t* image = base + header->image_rva;

    if (header->section_count > PACKED_SECTIONS_MAX ||
        !unpack_lzma(stream, header->stream_size, image, header->image_size, header->lc, header->lp, header->pb,
                     probabilities))
        give_up("The program is damaged.");
    if (header->x86_branches) unpack_x86_branches(image, header->image_size, 0);
    bind_imports(base, header->imports_rva);
    for (uint32_t i = 0; i < header->section_count; i++) {
        DWORD previous;
        if (!VirtualProtect(base + sections[i].rva, sections[i].size, sections[i].protection, &previous))
            give_up("VirtualProtect");
    }
    /* The intro's entry ends the process itself. */
    ((void (*)(void))(base + header->entry_rva))();
    return 0;
}
