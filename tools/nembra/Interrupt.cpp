#include "Interrupt.h"

#include <csignal>

namespace nembra_cli {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int signal) {
    stopRequested = 1;
    std::signal(signal, SIG_DFL);
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM};

// A signal that the parent process chose to ignore (nohup, a background job) stays ignored.
void Catch(int signal) {
    if (std::signal(signal, RequestStop) == SIG_IGN) {
        std::signal(signal, SIG_IGN);
    }
}

void Release(int signal) {
    if (std::signal(signal, SIG_DFL) == SIG_IGN) {
        std::signal(signal, SIG_IGN);
    }
}

}  // namespace

InterruptGuard::InterruptGuard() {
    stopRequested = 0;
    for (int signal : kStopSignals) {
        Catch(signal);
    }
}

InterruptGuard::~InterruptGuard() {
    for (int signal : kStopSignals) {
        Release(signal);
    }
}

bool InterruptGuard::Requested() {
    return stopRequested != 0;
}

}  // namespace nembra_cli
