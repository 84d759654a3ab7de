#pragma once

namespace nembra_cli {

// While alive, the first Ctrl-C (SIGINT) or SIGTERM asks the run to stop at the next call
// instead of killing it, so the files written so far are finished and summarised; a second
// signal acts as usual.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    static bool Requested();
};

// Exit status of a run stopped by a signal, as shells report one killed by SIGINT.
constexpr int kExitInterrupted = 130;

}  // namespace nembra_cli
