// Process entry on Windows: WinMain, called by the start-up routine
// (platform/win32/win32_runtime.cpp); run_intro's result becomes the exit
// status.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "shell/shell.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line, int show_command)
{
    if (!platform_startup()) return 1;
    return run_intro(instance, previous_instance, command_line, show_command);
}
