#include "CaseCheckpoints.h"

#include "Nembra/SupersonicFlatPlate.h"
#include "ResumedFlow.h"

namespace nembra_cli {

namespace {

using Nembra::NavierStokesEquations2D;
using Nembra::SupersonicFlatPlate;
using Wall = SupersonicFlatPlate::WallCondition;

CaseState NothingToSave(NavierStokesEquations2D& /*solver*/) {
    return {};
}

std::unique_ptr<NavierStokesEquations2D> ResumeClosedBox(const ResumeArguments& a,
                                                         std::vector<FlowNode> records,
                                                         const CaseState& /*state*/,
                                                         const std::string& /*file*/) {
    return std::make_unique<ResumedFlow<NavierStokesEquations2D>>(
        std::move(records), a.nodesX, a.nodesY, a.lengthX, a.maxStepCount);
}

constexpr char kWall[] = "wall";
constexpr char kLargestDensityChange[] = "largest_density_change";

CaseState SaveFlatPlate(NavierStokesEquations2D& solver) {
    CaseState state;
    if (const auto* plate = dynamic_cast<SupersonicFlatPlate*>(&solver)) {
        state.words[kWall] =
            plate->GetWallCondition() == Wall::Adiabatic ? "adiabatic" : "isothermal";
        state.numbers[kLargestDensityChange] = plate->GetLargestDensityChange();
    }
    return state;
}

std::unique_ptr<NavierStokesEquations2D> ResumeFlatPlate(const ResumeArguments& a,
                                                         std::vector<FlowNode> records,
                                                         const CaseState& state,
                                                         const std::string& file) {
    const auto wall = state.words.find(kWall);
    const auto change = state.numbers.find(kLargestDensityChange);
    if (wall == state.words.end() || change == state.numbers.end() ||
        (wall->second != "isothermal" && wall->second != "adiabatic")) {
        throw CheckpointError(file + " lacks the flat plate's wall condition or density change");
    }
    auto plate = std::make_unique<ResumedFlow<SupersonicFlatPlate>>(
        std::move(records), a.nodesX, a.nodesY, a.lengthX, a.maxStepCount,
        wall->second == "adiabatic" ? Wall::Adiabatic : Wall::Isothermal);
    plate->SetLargestDensityChange(change->second);
    return plate;
}

}  // namespace

const CaseCheckpointHooks& ClosedBoxCheckpoints() {
    static const CaseCheckpointHooks hooks{&NothingToSave, &ResumeClosedBox};
    return hooks;
}

const CaseCheckpointHooks& FlatPlateCheckpoints() {
    static const CaseCheckpointHooks hooks{&SaveFlatPlate, &ResumeFlatPlate};
    return hooks;
}

}  // namespace nembra_cli
