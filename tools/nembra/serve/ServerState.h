#pragma once

#include <atomic>
#include <string>

#include "Simulation.h"

namespace nembra_cli {

// What every connection of one server shares.
struct ServerState {
    Simulation& simulation;
    std::string token;
    std::atomic<int> pages{0};        // open WebSocket connections
    std::atomic<int> connections{0};  // open TCP connections of any kind
};

// More connections than this are closed at once: a page needs two, a script one.
constexpr int kMostConnections = 64;

}  // namespace nembra_cli
