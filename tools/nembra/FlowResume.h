#pragma once

#include <memory>
#include <string>

#include "Checkpoint.h"
#include "FlowCases.h"
#include "Nembra/NavierStokesEquations2D.h"

namespace nembra_cli {

// A solver that continues the stored run, its records laid by its first call. `stepOffset`
// turns its own step count back into the stored run's: stored = own + stepOffset. Throws
// CheckpointError (naming `file`) when the case refuses the stored state, when the stored setting
// is not what this build's solver of that case and mesh has, or when the mesh cannot be had.
struct ResumedSolver {
    std::unique_ptr<Nembra::NavierStokesEquations2D> solver;
    int stepOffset = 0;
};
ResumedSolver ResumeFlow(Checkpoint& checkpoint, const FlowCase& flowCase, const std::string& file);

// For a case whose own state is fixed by its class (the initial states of a shock tube, a blast's
// disc): throws CheckpointError naming `file` unless `stored` holds every value of `expected`
// with the same bits, so that a file of a build with other constants is not continued.
void RequireSameCaseState(const CaseState& stored, const CaseState& expected,
                          const std::string& file);

}  // namespace nembra_cli
