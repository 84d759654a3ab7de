#include "FlowCases.h"
#include "ResumedFlow.h"

// The library's own setting: the base solver with its compiled-in initial and boundary
// conditions, and nothing of its own to add to the run.
namespace nembra_cli {

namespace {

class ClosedBoxCase : public FlowCase {
public:
    ClosedBoxCase()
        : FlowCase("closed-box",
                   "air at rest in a closed box with a hot, high-pressure, fast-moving block at "
                   "its centre") {}

    std::unique_ptr<Nembra::NavierStokesEquations2D> Create(
        const std::optional<FlowGeometry>& geometry) const override {
        return ConstructSolver<Nembra::NavierStokesEquations2D>(geometry);
    }

    // The box keeps nothing beyond the mesh and the solver's members.
    std::unique_ptr<Nembra::NavierStokesEquations2D> Resume(
        const ResumeArguments& a, std::vector<FlowNode> records, const CaseState& /*state*/,
        const std::string& /*file*/) const override {
        return std::make_unique<ResumedFlow<Nembra::NavierStokesEquations2D>>(
            std::move(records), a.nodesX, a.nodesY, a.lengthX, a.maxStepCount);
    }
};

}  // namespace

std::unique_ptr<FlowCase> MakeClosedBoxCase() {
    return std::make_unique<ClosedBoxCase>();
}

}  // namespace nembra_cli
