#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <thread>

#include <pybind11/pybind11.h>

namespace nembra_python {

// What the binding keeps beside each solver: one thread at a time works on it. step() holds the
// lock without the GIL, so other Python threads run meanwhile; a reader waits for the step
// to finish, without the GIL. The stepping thread itself may read (its Python hooks do) but
// must not step again.
class SolverLock {
public:
    std::mutex mutex;
    std::thread::id stepping;  // the thread inside step(), if any; written under the mutex
};

// Shared access to read the solver: waits, without the GIL, for a step in another thread.
class ReadAccess {
public:
    explicit ReadAccess(SolverLock& lock);

private:
    std::unique_lock<std::mutex> held_;
};

// Exclusive access to step the solver. Throws RuntimeError when the calling thread is already
// stepping it (a hook calling step()).
class StepAccess {
public:
    explicit StepAccess(SolverLock& lock);
    ~StepAccess();
    StepAccess(const StepAccess&) = delete;
    StepAccess& operator=(const StepAccess&) = delete;

private:
    SolverLock& lock_;
    std::unique_lock<std::mutex> held_;
};

// Lets Ctrl-C stop a long step() between two calls: every fifth of a second it takes the GIL
// briefly and asks Python whether a signal is pending. Call without the GIL.
class InterruptCheck {
public:
    // Throws error_already_set (KeyboardInterrupt) when a handler raised.
    void Poll();

private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// Refuses, with MemoryError, storage that could never fit: more bytes than the machine has
// physical memory (or than size_t can count). The library would otherwise try to zero-fill it
// and the system could end the interpreter.
void CheckStorageFits(std::size_t count, std::size_t bytesEach, const char* what);

}  // namespace nembra_python
