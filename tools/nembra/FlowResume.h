#pragma once

#include <memory>
#include <vector>

#include "Checkpoint.h"
#include "Nembra/NavierStokesEquations2D.h"

namespace nembra_cli {

// What a case needs to build the solver that continues a stored run: the stored mesh and plate
// length, and the step limit shortened by the calls made before the stored run's last one.
struct ResumeArguments {
    int nodesX = 0;
    int nodesY = 0;
    double lengthX = 0.0;
    int maxStepCount = 0;
};

// A case's part in checkpoints: the state it keeps beyond the mesh and the solver's members,
// and the solver (a ResumedFlow of the case's class) that continues from stored records and
// state. `resume` throws CheckpointError when the state is not the case's.
struct CaseCheckpointHooks {
    CaseState (*saveState)(Nembra::NavierStokesEquations2D& solver);
    std::unique_ptr<Nembra::NavierStokesEquations2D> (*resume)(const ResumeArguments& arguments,
                                                               std::vector<FlowNode> records,
                                                               const CaseState& state,
                                                               const std::string& file);
};

// A solver that continues the stored run, its records laid by its first call. `stepOffset`
// turns its own step count back into the stored run's: stored = own + stepOffset. Throws
// CheckpointError (naming `file`) when the stored setting is not what this build's solver of
// that case and mesh has, or the mesh cannot be had.
struct ResumedSolver {
    std::unique_ptr<Nembra::NavierStokesEquations2D> solver;
    int stepOffset = 0;
};
ResumedSolver ResumeFlow(Checkpoint& checkpoint, const CaseCheckpointHooks& hooks,
                         const std::string& file);

}  // namespace nembra_cli
