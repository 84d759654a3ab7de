#pragma once

// What every fuzz target of the project does the same way.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Nembra/MessageHandler.h"

namespace nembra_fuzz {

// A broken promise that the sanitizers cannot see: reported, then ended like a crash, so that
// libFuzzer keeps the input.
[[noreturn]] inline void Finding(const std::string& what) {
    std::fprintf(stderr, "finding: %s\n", what.c_str());
    std::abort();
}

// The library announces refused sizes (expected here by the thousand) through its message
// handler, and unusable values on standard output once per node: keep the fuzzer's log clear.
inline void QuietenLibrary() {
    Nembra::SetMessageHandler([](const char*, const char*) {});
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::perror("/dev/null");
    }
}

}  // namespace nembra_fuzz
