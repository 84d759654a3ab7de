#pragma once

#include "Checkpoint.h"
#include "FlowCommand.h"

// `nembra flow --resume FILE`: a stored run's options become the run's own.
namespace nembra_cli {

// Reads the checkpoint named by --resume and makes its case, mesh and outputs the run's options;
// outputs go to the checkpoint's folder unless -o is given. Options given on the command line
// must agree with the stored run (the mesh, the case and its options), except those that only
// shape what is written (fields, formats, snapshots, checkpoints) and --max-steps, which may move
// the step limit of a run that has not reached it. Throws UsageError naming the file and the
// problem, before anything is written.
Checkpoint AdoptCheckpoint(FlowOptions& options);

// The message of a checkpoint that cannot be used, as the command reports it.
UsageError CannotResume(const CheckpointError& error);

}  // namespace nembra_cli
