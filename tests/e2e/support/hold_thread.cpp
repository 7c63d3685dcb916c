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
    if (argc != 3) {
        std::fprintf(stderr, "usage: hold_thread TID MS\n");
        return 2;
    }
    pid_t tid = static_cast<pid_t>(std::atoi(argv[1]));
    long ms = std::atol(argv[2]);
    if (tid <= 0 || ms < 0) {
        std::fprintf(stderr, "hold_thread: bad thread id or time\n");
        return 2;
    }
    if (ptrace(PTRACE_SEIZE, tid, nullptr, nullptr) != 0 ||
        ptrace(PTRACE_INTERRUPT, tid, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "hold_thread: cannot seize thread %d: %s\n", tid, std::strerror(errno));
        return 1;
    }
    int status = 0;
    if (waitpid(tid, &status, __WALL) != tid) {
        std::fprintf(stderr, "hold_thread: thread %d did not stop: %s\n", tid, std::strerror(errno));
        return 1;
    }
    auto stopped = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    if (ptrace(PTRACE_DETACH, tid, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "hold_thread: cannot release thread %d: %s\n", tid, std::strerror(errno));
        return 1;
    }
    auto held = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - stopped);
    std::printf("held %d for %lld ms\n", tid, static_cast<long long>(held.count()));
    return 0;
}
