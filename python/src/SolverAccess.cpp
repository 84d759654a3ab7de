#include "SolverAccess.h"

#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>

#include <unistd.h>

namespace py = pybind11;

namespace nembra_python {
namespace {

std::unique_lock<std::mutex> LockWithoutGil(std::mutex& mutex) {
    std::unique_lock<std::mutex> held(mutex, std::try_to_lock);
    if (!held.owns_lock()) {
        py::gil_scoped_release release;
        held.lock();
    }
    return held;
}

double PhysicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) {
        return std::numeric_limits<double>::infinity();
    }
    return static_cast<double>(pages) * static_cast<double>(pageSize);
}

std::string Gigabytes(double bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3g GB", bytes / 1e9);
    return text;
}

}  // namespace

ReadAccess::ReadAccess(SolverLock& lock) {
    if (lock.stepping != std::this_thread::get_id()) {
        held_ = LockWithoutGil(lock.mutex);
    }
}

StepAccess::StepAccess(SolverLock& lock) : lock_(lock) {
    if (lock.stepping == std::this_thread::get_id()) {
        throw std::runtime_error(
            "the solver is stepping in this thread: a hook cannot call step() or run()");
    }
    held_ = LockWithoutGil(lock.mutex);
    lock_.stepping = std::this_thread::get_id();
}

StepAccess::~StepAccess() {
    lock_.stepping = std::thread::id();
}

void InterruptCheck::Poll() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(200)) {
        return;
    }
    last_ = now;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) {
        throw py::error_already_set();
    }
}

void CheckStorageFits(std::size_t count, std::size_t bytesEach, const char* what) {
    const double bytes = static_cast<double>(count) * static_cast<double>(bytesEach);
    const double available = PhysicalMemoryBytes();
    if (bytes > available) {
        const std::string message = std::string(what) + " needs " + Gigabytes(bytes) +
                                    "; this machine has " + Gigabytes(available) + " of memory";
        PyErr_SetString(PyExc_MemoryError, message.c_str());
        throw py::error_already_set();
    }
}

}  // namespace nembra_python
