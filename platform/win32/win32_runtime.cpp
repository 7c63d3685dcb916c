// The runtime start-up of the Windows intro, and the few C runtime
// functions that MinGW would otherwise supply from its own libraries.
//
// MinGW's start-up objects (command-line parsing, pseudo-relocations,
// thread-local storage, the floating-point and signal set-up) are some 10
// KiB the intro has no use for: it takes no command line, imports no data
// (the link refuses auto-imports) and has no thread-local variables. The
// executable is linked without them (-nostartfiles) and starts in
// WinMainCRTStartup below. The system's msvcrt.dll initialises itself when
// it is loaded.
#include <cstdlib>

#include "platform/win32/win32.h"

extern "C" void __main(void);  // MinGW: runs the static constructors once

// msvcrt.dll exports atexit as data only; MinGW's start-up objects supply
// the function, so without them it is defined here, as they define it:
// on the C library's own exit list.
extern "C" int __cdecl atexit(void(__cdecl* function)(void))
{
    return _onexit(reinterpret_cast<_onexit_t>(function)) ? 0 : -1;
}

// MinGW replaces msvcrt's pow with one of its own that brings 3 KiB of
// extended-precision helpers along. The pitch tables need nothing more
// than the system's own, which is taken through its import entry.
#if defined(__i386__)
#define MSVCRT_IMPORT(name) "__imp__" name
#else
#define MSVCRT_IMPORT(name) "__imp_" name
#endif
extern "C" double(__cdecl* const msvcrt_pow)(double, double) __asm__(MSVCRT_IMPORT("pow"));

extern "C" double __cdecl pow(double base, double exponent) { return msvcrt_pow(base, exponent); }

// WinMain's command line leaves out the program's own name, quoted or not.
static LPSTR arguments_after_program_name(LPSTR line)
{
    bool quoted = false;
    while (*line && (quoted || (*line != ' ' && *line != '\t'))) {
        if (*line == '"') quoted = !quoted;
        line++;
    }
    while (*line == ' ' || *line == '\t') line++;
    return line;
}

extern "C" __attribute__((force_align_arg_pointer)) void WinMainCRTStartup(void)
{
    __main();
    // exit, not ExitProcess: destructors registered by __main and the
    // C library's own clean-up run first. The mixing thread ends with
    // the process.
    std::exit(WinMain(GetModuleHandleA(nullptr), nullptr, arguments_after_program_name(GetCommandLineA()),
                      SW_SHOWDEFAULT));
}
