#pragma once

#include <string>

#include "ModelRequest.h"

namespace nembra_cli {

// A page's command, checked in full before anything acts on it.
//   {"type": "run"} / {"type": "pause"} / {"type": "reset"}
//   {"type": "step", "count": N}              N calls, then pause
//   {"type": "steps_per_frame", "value": N}   0: as fast as the solver goes
//   {"type": "configure", "model": "flow", "settings": {"case": "flat-plate", "nx": 100}}
//   {"type": "probe", "i": I, "j": J}         the values at one node
//   {"type": "view", "quantity": "mach"}      what this page's frames show
struct ControlMessage {
    enum class Kind { Run, Pause, Step, StepsPerFrame, Reset, Configure, Probe, View };
    Kind kind = Kind::Run;
    long long count = 0;
    ModelRequest request;
    long long i = 0;
    long long j = 0;
    std::string quantity;
};

// Larger WebSocket messages are refused before they are read in full.
constexpr std::size_t kMostControlMessageBytes = 4096;
constexpr long long kMostStepsPerCommand = 1000000;
constexpr long long kMostStepsPerFrame = 100000;

// Throws UsageError with a message for the page: malformed JSON, an unknown type, a missing or
// mistyped member, a number out of range. Model settings are checked when the model is built.
ControlMessage ParseControlMessage(const std::string& text);

// {"type": "error", "message": ...}
std::string ErrorMessage(const std::string& message);

}  // namespace nembra_cli
