#include "FlowCases.h"

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
};

}  // namespace

std::unique_ptr<FlowCase> MakeClosedBoxCase() {
    return std::make_unique<ClosedBoxCase>();
}

}  // namespace nembra_cli
