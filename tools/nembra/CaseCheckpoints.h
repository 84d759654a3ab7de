#pragma once

#include "FlowResume.h"

// Each flow case's part in checkpoints (FlowResume.h): the state it keeps beyond the mesh, and
// the solver that continues a stored run of it.
namespace nembra_cli {

// The library's own closed box keeps nothing beyond the mesh and the solver's members.
const CaseCheckpointHooks& ClosedBoxCheckpoints();

// The flat plate keeps its wall condition and the density change of its last step, which
// --until-converged and the summary read.
const CaseCheckpointHooks& FlatPlateCheckpoints();

}  // namespace nembra_cli
