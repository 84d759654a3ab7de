// The viewer's control messages, as a page sends them over its WebSocket: any text is parsed by
// the server's own parser; a model that a "configure" message asks for is built the way the
// server builds it, described, stepped and probed; a "probe" message probes a live flow and a
// live diffusion model. A refusal must be a UsageError (or, for a model too large for memory,
// std::bad_alloc: what the server catches) whose error message for the page is a JSON object
// naming it. Anything else (a crash, a sanitizer report, any other escaping exception) would
// take the server down, and is a finding.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "FuzzSupport.h"
#include "OptionRules.h"
#include "serve/ControlMessage.h"
#include "serve/LiveModel.h"
#include "serve/ModelRequest.h"

namespace {

using nembra_cli::ControlMessage;
using nembra_cli::LiveModel;
using nembra_cli::ModelRequest;
using nembra_fuzz::Finding;

// Models up to this many nodes are built; larger ones would only measure the allocator (the
// server's own limit, kMostLiveNodes, is about a gigabyte and a half of flow records).
constexpr double kMostFuzzedNodes = 1 << 14;

// The largest value the text could stand for as a whole number, as the option parser reads
// numbers: decimal or floating point, 0x hexadecimal, 0o octal, 0b binary.
double LargestReading(const std::string& word) {
    double largest = std::strtod(word.c_str(), nullptr);
    const std::string digits = word.size() > 2 ? word.substr(2) : std::string();
    for (const auto& [prefix, base] : {std::pair<const char*, int>{"0o", 8}, {"0b", 2}}) {
        if (word.rfind(prefix, 0) == 0) {
            largest = std::max(largest,
                               static_cast<double>(std::strtoull(digits.c_str(), nullptr, base)));
        }
    }
    return largest;
}

// Nodes the request asks for at most: the product of the mesh options given, or the segments.
double RequestedNodes(const ModelRequest& request) {
    double nodes = 1;
    for (std::size_t k = 0; k + 1 < request.options.size(); ++k) {
        const std::string& option = request.options[k];
        if (option == "--nx" || option == "--ny" || option == "--segments") {
            const double count = LargestReading(request.options[k + 1]);
            nodes *= count > 1 ? count : 1;
        }
    }
    return nodes;
}

void RequirePageMessage(const std::string& reason) {
    const nlohmann::json message =
        nlohmann::json::parse(nembra_cli::ErrorMessage(reason), nullptr, false);
    if (!message.is_object() || message.value("type", "") != "error" ||
        !message.contains("message")) {
        Finding("an error message for the page that is not a JSON object");
    }
}

// What the server does with a model: describe it, step it, draw each of its quantities, and
// probe the nodes it is asked for.
void Exercise(LiveModel& model, long long i, long long j) {
    static_cast<void>(
        model.Describe().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    for (int call = 0; call < 2 && !model.Finished(); ++call) {
        model.Step();
    }
    static_cast<void>(model.Progress().dump());
    for (const std::string& quantity : model.QuantityNames()) {
        static_cast<void>(model.Frame(quantity));
    }
    const nlohmann::json probe = model.Probe(i, j);
    if (!probe.is_object()) {
        Finding("a probe that is not a JSON object");
    }
}

void Configure(const ControlMessage& command) {
    if (RequestedNodes(command.request) > kMostFuzzedNodes) {
        return;
    }
    std::unique_ptr<LiveModel> model;
    try {
        model = nembra_cli::BuildModel(command.request);
    } catch (const nembra_cli::UsageError& e) {
        RequirePageMessage(e.what());
        return;
    } catch (const std::bad_alloc&) {
        return;
    }
    Exercise(*model, 0, 0);
}

LiveModel& SmallModel(const std::string& model, const char* size, const char* count) {
    ModelRequest request{model, {size, count}};
    static std::unique_ptr<LiveModel> flow;
    static std::unique_ptr<LiveModel> diffusion;
    std::unique_ptr<LiveModel>& built = model == "flow" ? flow : diffusion;
    if (!built) {
        built = nembra_cli::BuildModel(request);
    }
    return *built;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    nembra_fuzz::QuietenLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    ControlMessage command;
    try {
        command = nembra_cli::ParseControlMessage(text);
    } catch (const nembra_cli::UsageError& e) {
        RequirePageMessage(e.what());
        return 0;
    }
    switch (command.kind) {
        case ControlMessage::Kind::Configure:
            Configure(command);
            break;
        case ControlMessage::Kind::Probe:
            Exercise(SmallModel("flow", "--nx", "12"), command.i, command.j);
            Exercise(SmallModel("diffusion", "--segments", "20"), command.i, command.j);
            break;
        default:
            break;
    }
    return 0;
}
