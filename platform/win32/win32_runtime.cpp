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
#include <cstdarg>
#include <cstddef>
#include <cstdlib>

#include "platform/win32/win32.h"

// msvcrt.dll's own functions, called through their import entries where
// MinGW's libraries would put a replacement of their own in between (the
// entries of cdecl functions are named __imp_ and the C name with its
// leading underscore).
#define MSVCRT_IMPORT(name) "__imp__" name
extern "C" double(__cdecl* const msvcrt_pow)(double, double) __asm__(MSVCRT_IMPORT("pow"));
extern "C" double(__cdecl* const msvcrt_sin)(double) __asm__(MSVCRT_IMPORT("sin"));
extern "C" int(__cdecl* const msvcrt_vsnprintf)(char*, size_t, const char*,
                                                va_list) __asm__(MSVCRT_IMPORT("_vsnprintf"));
// MinGW's import library has no entry for _vscprintf (it emulates it for
// Windows 2000); the build makes one (msvcrt_extra.def).
extern "C" int(__cdecl* const msvcrt_vscprintf)(const char*, va_list) __asm__(MSVCRT_IMPORT("_vscprintf"));

// msvcrt.dll exports atexit as data only; MinGW's start-up objects supply
// the function, so without them it is defined here, as they define it:
// on the C library's own exit list.
extern "C" int __cdecl atexit(void(__cdecl* function)(void))
{
    return _onexit(reinterpret_cast<_onexit_t>(function)) ? 0 : -1;
}

// MinGW replaces msvcrt's pow and sin with its own, which bring 3 KiB of
// extended-precision helpers and its error reporting along. The pitch
// tables and the vibrato need nothing more than the system's own.
extern "C" double __cdecl pow(double base, double exponent) { return msvcrt_pow(base, exponent); }

extern "C" double __cdecl sin(double angle) { return msvcrt_sin(angle); }

// lroundf is C99, which msvcrt.dll does not have. Halves go away from zero;
// the difference between a float and its whole part is exact.
extern "C" long __cdecl lroundf(float value)
{
    long whole = static_cast<long>(value);
    float rest = value - static_cast<float>(whole);
    if (rest >= 0.5f) return whole + 1;
    if (rest <= -0.5f) return whole - 1;
    return whole;
}

// vsnprintf as C99 has it (the texts call it through MinGW's headers) on
// msvcrt's _vsnprintf, which leaves a cut text unterminated and answers
// -1 for it: a cut text is terminated here and the whole length counted,
// from a copy of the arguments (the first pass may have used them up).
extern "C" int __cdecl __ms_vsnprintf(char* buffer, size_t size, const char* format, va_list arguments)
{
    va_list again;
    va_copy(again, arguments);
    int length = msvcrt_vsnprintf(buffer, size, format, arguments);
    if (size != 0 && (length < 0 || static_cast<size_t>(length) >= size)) {
        buffer[size - 1] = '\0';
        length = msvcrt_vscprintf(format, again);
    }
    va_end(again);
    return length;
}

// The static constructors, in the order MinGW's start-up runs them: the
// last one listed first. The linker frames the list with -1 before it
// and a null after it.
extern "C" void (*__CTOR_LIST__[])(void);

static void run_constructors(void)
{
    size_t count = 0;
    while (__CTOR_LIST__[count + 1]) count++;
    while (count) __CTOR_LIST__[count--]();
}

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

// `used`: the linker's entry point is no call the link-time optimiser sees.
extern "C" __attribute__((force_align_arg_pointer, used)) void WinMainCRTStartup(void)
{
    run_constructors();
    // exit, not ExitProcess: whatever the constructors left on the exit
    // list and the C library's own clean-up run first. The mixing thread
    // ends with the process.
    std::exit(WinMain(GetModuleHandleA(nullptr), nullptr, arguments_after_program_name(GetCommandLineA()),
                      SW_SHOWDEFAULT));
}
