#pragma once

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ControlMessage.h"
#include "LiveModel.h"
#include "ModelRequest.h"

namespace nembra_cli {

// What the solver thread last showed the pages: read by the network thread without touching
// the solver. Frames exist for the quantities some page watches.
struct Publication {
    std::uint64_t version = 0;
    std::uint64_t stateVersion = 0;            // changes with the model or its controls
    std::shared_ptr<const std::string> state;  // JSON "state" message for the pages
    nlohmann::json status;                     // GET /api/status
    std::vector<std::string> quantities;
    std::map<std::string, std::shared_ptr<const std::string>> frames;
};

// Runs one model on a thread of its own as fast as it can (or at a chosen number of steps per
// frame) and publishes its state at most kFramesPerSecond times a second. Commands from pages
// are queued and applied between solver calls, so the solver is only ever touched by its thread.
class Simulation {
public:
    using Reply = std::function<void(const std::string& json)>;
    static constexpr int kFramesPerSecond = 30;
    static constexpr std::size_t kMostWaitingCommands = 64;

    // Builds the first model at once; throws UsageError when the request is refused.
    Simulation(const ModelRequest& request, bool paused);
    ~Simulation();
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    void Start();
    void Stop();

    // False when too many commands are already waiting; `reply` may be called from the solver
    // thread later.
    bool Submit(const ControlMessage& command, Reply reply);
    // Counts the pages that watch a quantity, so that only watched ones are encoded.
    void Watch(const std::string& quantity);
    void Unwatch(const std::string& quantity);

    std::shared_ptr<const Publication> Latest() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        ControlMessage command;
        Reply reply;
    };

    void Run();
    bool WaitForWork(std::deque<Pending>& commands, bool& refresh);
    void Apply(const Pending& pending);
    void ApplyConfigure(const ModelRequest& request, const Reply& reply);
    void StepBatch();
    void StepOnce();
    bool Busy();
    void Publish();
    nlohmann::json Controls() const;

    // Solver-thread state.
    std::unique_ptr<LiveModel> model_;
    ModelRequest request_;
    bool running_;
    long long pendingSteps_ = 0;
    int stepsPerFrame_ = 0;  // 0: as many as fit between two frames
    bool stateChanged_ = true;
    Clock::time_point nextFrame_;    // paced: when the next batch may start
    Clock::time_point nextPublish_;  // free: when the next frame is due

    // Shared with the network thread.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Pending> queue_;
    std::map<std::string, int> watched_;
    bool refresh_ = false;
    bool stop_ = false;
    std::atomic<bool> commandsWaiting_{false};
    std::shared_ptr<const Publication> latest_;
    std::shared_ptr<const std::string> state_;
    std::uint64_t version_ = 0;
    std::uint64_t stateVersion_ = 0;
    std::thread thread_;
};

}  // namespace nembra_cli
