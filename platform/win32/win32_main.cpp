// Process entry on Windows: WinMain, whose result (run_intro's) becomes the
// exit status, and the start-up routine the system calls before it.
#include <cstdlib>

#include "platform/win32/win32.h"
#include "shell/shell.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line, int show_command)
{
    if (!platform_startup()) return 1;
    return run_intro(instance, previous_instance, command_line, show_command);
}

// MinGW's runtime start-up (command-line parsing, pseudo-relocations,
// thread-local storage, the floating-point and signal set-up) is some 10
// KiB the intro has no use for: it takes no command line, imports no data
// (the link refuses auto-imports) and has no thread-local variables. The
// executable is linked without it (-nostartfiles) and starts here instead.
// The system's msvcrt.dll initialises itself when it is loaded.
extern "C" void __main(void);  // MinGW: runs the static constructors once

// msvcrt.dll exports atexit as data only; MinGW's start-up objects supply
// the function, so without them it is defined here, as they define it:
// on the C library's own exit list.
extern "C" int __cdecl atexit(void(__cdecl* function)(void))
{
    return _onexit(reinterpret_cast<_onexit_t>(function)) ? 0 : -1;
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

extern "C" __attribute__((force_align_arg_pointer)) void WinMainCRTStartup(void)
{
    __main();
    // exit, not ExitProcess: destructors registered by __main and the
    // C library's own clean-up run first. The mixing thread ends with
    // the process.
    std::exit(WinMain(GetModuleHandleA(nullptr), nullptr, arguments_after_program_name(GetCommandLineA()),
                      SW_SHOWDEFAULT));
}
