// hold_thread TID MS: stops one thread of another process for MS
// milliseconds and lets it go again, leaving the process's other threads
// running. A signal cannot do this (SIGSTOP stops the whole process), but
// ptrace attaches to single threads: the thread is seized, interrupted,
// held in its ptrace stop, then detached. Used to stall the intro's
// mixing thread while its audio device keeps playing the ring.
#include <sys/ptrace.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

int main(int argc, char** argv)
{
    const pid_t tid = argc == 3 ? pid_t(std::atoi(argv[1])) : 0;
    const long ms = argc == 3 ? std::atol(argv[2]) : -1;
    if (tid <= 0 || ms < 0) {
        std::fprintf(stderr, "usage: hold_thread TID MS\n");
        return 2;
    }
    int status = 0;
    if (ptrace(PTRACE_SEIZE, tid, nullptr, nullptr) != 0 || ptrace(PTRACE_INTERRUPT, tid, nullptr, nullptr) != 0 ||
        waitpid(tid, &status, __WALL) != tid) {
        std::fprintf(stderr, "hold_thread: cannot stop thread %d: %s\n", tid, std::strerror(errno));
        return 1;
    }
    const auto stopped = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    const bool released = ptrace(PTRACE_DETACH, tid, nullptr, nullptr) == 0;
    const auto held = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - stopped);
    if (released) std::printf("held %d for %lld ms\n", tid, static_cast<long long>(held.count()));
    else std::fprintf(stderr, "hold_thread: cannot release thread %d: %s\n", tid, std::strerror(errno));
    return released ? 0 : 1;
}
