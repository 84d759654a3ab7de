#include "ControlMessage.h"

#include <map>

#include "OptionRules.h"

namespace nembra_cli {

namespace {

using Kind = ControlMessage::Kind;

const std::map<std::string, Kind>& KindsByName() {
    static const std::map<std::string, Kind> kinds{
        {"run", Kind::Run},     {"pause", Kind::Pause},
        {"step", Kind::Step},   {"steps_per_frame", Kind::StepsPerFrame},
        {"reset", Kind::Reset}, {"configure", Kind::Configure},
        {"probe", Kind::Probe}, {"view", Kind::View},
    };
    return kinds;
}

std::vector<std::string> KindNames() {
    std::vector<std::string> names;
    for (const auto& [name, kind] : KindsByName()) {
        names.push_back(name);
    }
    return names;
}

long long WholeNumber(const nlohmann::json& message, const char* member, long long least,
                      long long most) {
    const auto found = message.find(member);
    if (found == message.end() || !found->is_number_integer()) {
        throw UsageError(std::string("'") + member + "' must be a whole number");
    }
    // Unsigned JSON numbers above the signed range are out of range as well.
    if (found->is_number_unsigned() && found->get<unsigned long long>() > 1ULL << 62) {
        throw UsageError(std::string("'") + member + "' is out of range");
    }
    const long long value = found->get<long long>();
    if (value < least || value > most) {
        throw UsageError(std::string("'") + member + "' must lie between " + std::to_string(least) +
                         " and " + std::to_string(most) + ", got " + std::to_string(value));
    }
    return value;
}

std::string Text(const nlohmann::json& message, const char* member) {
    const auto found = message.find(member);
    if (found == message.end() || !found->is_string()) {
        throw UsageError(std::string("'") + member + "' must be a text");
    }
    return found->get<std::string>();
}

nlohmann::json MemberOrNull(const nlohmann::json& message, const char* member) {
    const auto found = message.find(member);
    return found == message.end() ? nlohmann::json() : *found;
}

Kind KindOf(const nlohmann::json& message) {
    const std::string type = Text(message, "type");
    const auto found = KindsByName().find(type);
    if (found == KindsByName().end()) {
        throw UsageError("unknown message type '" + type + "'; choose from " +
                         JoinNames(KindNames()));
    }
    return found->second;
}

}  // namespace

ControlMessage ParseControlMessage(const std::string& text) {
    if (text.size() > kMostControlMessageBytes) {
        throw UsageError("message too long");
    }
    // Depth is bounded by the size limit; no exceptions from the parser, only a discarded value.
    const nlohmann::json message = nlohmann::json::parse(text, nullptr, false);
    if (message.is_discarded() || !message.is_object()) {
        throw UsageError("a message must be a JSON object");
    }
    ControlMessage command;
    command.kind = KindOf(message);
    switch (command.kind) {
        case Kind::Step:
            command.count = WholeNumber(message, "count", 1, kMostStepsPerCommand);
            break;
        case Kind::StepsPerFrame:
            command.count = WholeNumber(message, "value", 0, kMostStepsPerFrame);
            break;
        case Kind::Configure:
            command.request =
                RequestFromJson(MemberOrNull(message, "model"), MemberOrNull(message, "settings"));
            break;
        case Kind::Probe:
            command.i = WholeNumber(message, "i", 0, kMostLiveNodes);
            command.j = WholeNumber(message, "j", 0, kMostLiveNodes);
            break;
        case Kind::View:
            command.quantity = Text(message, "quantity");
            break;
        case Kind::Run:
        case Kind::Pause:
        case Kind::Reset:
            break;
    }
    return command;
}

std::string ErrorMessage(const std::string& message) {
    return nlohmann::json{{"type", "error"}, {"message", message}}.dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace nembra_cli
