#include "Simulation.h"

#include "OptionRules.h"
#include "PageChoices.h"

namespace nembra_cli {

namespace {

constexpr std::chrono::microseconds kFrameInterval{1000000 / Simulation::kFramesPerSecond};

std::string TypedMessage(const std::string& type, nlohmann::json body = nlohmann::json::object()) {
    body["type"] = type;
    return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

Simulation::Simulation(const ModelRequest& request, bool paused)
    : model_(BuildModel(request)), request_(request), running_(!paused) {
    Publish();
}

Simulation::~Simulation() {
    Stop();
}

void Simulation::Start() {
    thread_ = std::thread([this] { Run(); });
}

void Simulation::Stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool Simulation::Submit(const ControlMessage& command, Reply reply) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.size() >= kMostWaitingCommands) {
            return false;
        }
        queue_.push_back({command, std::move(reply)});
        commandsWaiting_ = true;
    }
    wake_.notify_all();
    return true;
}

void Simulation::Watch(const std::string& quantity) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++watched_[quantity];
        refresh_ = refresh_ || latest_->frames.count(quantity) == 0;
    }
    wake_.notify_all();
}

void Simulation::Unwatch(const std::string& quantity) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = watched_.find(quantity);
    if (found != watched_.end() && --found->second <= 0) {
        watched_.erase(found);
    }
}

std::shared_ptr<const Publication> Simulation::Latest() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return latest_;
}

// A frame is published after each paced batch, when a free run's frame is due, and at once
// when the state changed or a page waits for a quantity; a flood of commands (each of which cuts
// a free batch short) therefore costs no extra frames.
void Simulation::Run() {
    std::deque<Pending> commands;
    bool refresh = false;
    while (WaitForWork(commands, refresh)) {
        for (const Pending& pending : commands) {
            Apply(pending);
        }
        commands.clear();
        bool stepped = false;
        if (Busy() && (stepsPerFrame_ == 0 || Clock::now() >= nextFrame_)) {
            StepBatch();
            stepped = true;
        }
        const bool due = stepsPerFrame_ > 0 || Clock::now() >= nextPublish_;
        const bool publish = refresh || stateChanged_ || (stepped && due);
        if (publish) {
            Publish();
        }
    }
}

// Sleeps until there is something to do: a command, a page's new quantity, or (when running)
// the next frame's turn. False once the simulation is stopping.
bool Simulation::WaitForWork(std::deque<Pending>& commands, bool& refresh) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto somethingToDo = [this] { return stop_ || !queue_.empty() || refresh_; };
    if (!Busy()) {
        wake_.wait(lock, somethingToDo);
    } else if (stepsPerFrame_ > 0) {
        wake_.wait_until(lock, nextFrame_, somethingToDo);
    }
    commands.swap(queue_);
    commandsWaiting_ = false;
    refresh = refresh_;
    refresh_ = false;
    return !stop_;
}

void Simulation::Apply(const Pending& pending) {
    const ControlMessage& c = pending.command;
    switch (c.kind) {
        case ControlMessage::Kind::Run:
            running_ = true;
            pendingSteps_ = 0;
            break;
        case ControlMessage::Kind::Pause:
            running_ = false;
            pendingSteps_ = 0;
            break;
        case ControlMessage::Kind::Step:
            running_ = false;
            pendingSteps_ = c.count;
            break;
        case ControlMessage::Kind::StepsPerFrame:
            stepsPerFrame_ = static_cast<int>(c.count);
            break;
        case ControlMessage::Kind::Reset:
            ApplyConfigure(request_, pending.reply);
            return;
        case ControlMessage::Kind::Configure:
            ApplyConfigure(c.request, pending.reply);
            return;
        case ControlMessage::Kind::Probe:
            pending.reply(TypedMessage("probe", model_->Probe(c.i, c.j)));
            return;
        case ControlMessage::Kind::View:
            return;
    }
    stateChanged_ = true;
}

// The old model keeps running when the new one is refused; the page that asked hears why.
void Simulation::ApplyConfigure(const ModelRequest& request, const Reply& reply) {
    try {
        std::unique_ptr<LiveModel> model = BuildModel(request);
        model_ = std::move(model);
        request_ = request;
        pendingSteps_ = 0;
        stateChanged_ = true;
    } catch (const UsageError& e) {
        reply(TypedMessage("error", {{"message", e.what()}}));
    } catch (const std::bad_alloc&) {
        reply(TypedMessage("error", {{"message", "the model does not fit in memory"}}));
    }
}

bool Simulation::Busy() {
    return (running_ || pendingSteps_ > 0) && !model_->Finished();
}

// Paced: the chosen number of calls, then wait for the frame's turn. Free: calls until the
// frame is due or a command waits, so that pause acts within one solver call.
void Simulation::StepBatch() {
    if (stepsPerFrame_ > 0) {
        for (int k = 0; k < stepsPerFrame_ && Busy(); ++k) {
            StepOnce();
        }
        nextFrame_ = Clock::now() + kFrameInterval;
        return;
    }
    do {
        StepOnce();
    } while (Busy() && !commandsWaiting_ && Clock::now() < nextPublish_);
}

void Simulation::StepOnce() {
    model_->Step();
    if (pendingSteps_ > 0 && --pendingSteps_ == 0) {
        stateChanged_ = true;
    }
    if (model_->Finished()) {
        running_ = false;
        stateChanged_ = true;
    }
}

nlohmann::json Simulation::Controls() const {
    return {{"running", running_},
            {"pending_steps", pendingSteps_},
            {"steps_per_frame", stepsPerFrame_}};
}

void Simulation::Publish() {
    std::vector<std::string> watched;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [quantity, pages] : watched_) {
            watched.push_back(quantity);
        }
    }
    auto publication = std::make_shared<Publication>();
    publication->quantities = model_->QuantityNames();
    for (const std::string& quantity : watched) {
        if (Contains(publication->quantities, quantity)) {
            publication->frames[quantity] =
                std::make_shared<const std::string>(model_->Frame(quantity));
        }
    }
    nlohmann::json description = model_->Describe();
    publication->status = description;
    publication->status.erase("quantities");
    publication->status.update(model_->Progress());
    publication->status.update(Controls());
    const std::lock_guard<std::mutex> lock(mutex_);
    if (stateChanged_ || latest_ == nullptr) {
        ++stateVersion_;
        description.update(Controls());
        description.update(PageChoices());
        state_ = std::make_shared<const std::string>(TypedMessage("state", description));
        stateChanged_ = false;
    }
    nextPublish_ = Clock::now() + kFrameInterval;
    publication->version = ++version_;
    publication->stateVersion = stateVersion_;
    publication->state = state_;
    latest_ = publication;
}

}  // namespace nembra_cli
