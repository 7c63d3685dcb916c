// Win32 backend, the system side: the failure record, the millisecond
// clock, sleeping and the mixing thread.
#include <cstdlib>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace {

char last_error[96] = "no failure";

}  // namespace

void remember_error(const char* call)
{
    // wsprintfA stops at 1024 characters; the call names are short.
    wsprintfA(last_error, "%.60s failed (error %lu)", call, GetLastError());
}

const char* platform_last_error(void) { return last_error; }

// --- Time -------------------------------------------------------------------

uint32_t platform_clock_ms(void) { return timeGetTime(); }

void platform_sleep_ms(uint32_t ms) { Sleep(ms); }

// --- Threads ----------------------------------------------------------------

// A PlatformThread pointer is the thread's handle itself.

namespace {

// What a new thread runs; the thread frees it as soon as it has read it.
struct ThreadStart {
    int (*procedure)(void*);
    void* argument;
};

DWORD WINAPI thread_entry(LPVOID data)
{
    ThreadStart start = *static_cast<ThreadStart*>(data);
    std::free(data);
    return static_cast<DWORD>(start.procedure(start.argument));
}

}  // namespace

PlatformThread* platform_start_thread(int (*procedure)(void*), void* argument)
{
    ThreadStart* start = static_cast<ThreadStart*>(std::calloc(1, sizeof(ThreadStart)));
    if (!start) return nullptr;
    start->procedure = procedure;
    start->argument = argument;
    // Default stack size; time critical so the ring is refilled before the
    // device reaches blocks not yet mixed, whatever the frames cost.
    HANDLE thread = CreateThread(nullptr, 0, thread_entry, start, 0, nullptr);
    if (!thread) {
        remember_error("CreateThread");
        std::free(start);
        return nullptr;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
    return reinterpret_cast<PlatformThread*>(thread);
}

void platform_forget_thread(PlatformThread* thread)
{
    if (thread) CloseHandle(reinterpret_cast<HANDLE>(thread));
}
