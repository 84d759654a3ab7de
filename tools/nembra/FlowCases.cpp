#include "FlowCases.h"

#include <stdexcept>

#include "OptionRules.h"

namespace nembra_cli {

void FlowCase::RefuseOptionsFor(const FlowCase& chosen) const {
    if (&chosen == this) {
        return;
    }
    for (const auto& [option, refusal] : ownOptions_) {
        if (option->count() > 0) {
            throw UsageError(option->get_name() + ": " + refusal);
        }
    }
}

CLI::Option* FlowCase::Own(CLI::Option* option, std::string refusal) {
    ownOptions_.emplace_back(option, std::move(refusal));
    return option;
}

FlowCaseList MakeFlowCases() {
    FlowCaseList cases;
    cases.push_back(MakeClosedBoxCase());
    cases.push_back(MakeFlatPlateCase());
    cases.push_back(MakeShockTubeCase());
    cases.push_back(MakeBlastWaveCase());
    return cases;
}

std::vector<std::string> FlowCaseNames(const FlowCaseList& cases) {
    std::vector<std::string> names;
    for (const auto& c : cases) {
        names.push_back(c->Name());
    }
    return names;
}

const FlowCase& FindFlowCase(const FlowCaseList& cases, const std::string& name) {
    for (const auto& c : cases) {
        if (c->Name() == name) {
            return *c;
        }
    }
    throw std::invalid_argument("unknown flow case '" + name + "'");
}

}  // namespace nembra_cli
