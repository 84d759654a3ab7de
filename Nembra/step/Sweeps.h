#pragma once

// The two sweeps of a MacCormack step over the mesh, row by row: the predictor (phases 1 and 2)
// and the corrector (phases 4 and 5). The solver runs the predicted edge values (phase 3) between
// them. Each sweep runs as a wavefront, the fluxes of row i beside the update of row i-1 and the
// write-back of row i-2, so that every row is still in cache when the next phase needs it.

#include "Nembra/step/Vector.h"
#include "Nembra/step/WorkingRows.h"

namespace Nembra::step {

// Fluxes of the current state at every node of rowCount x count records, and the predicted state
// (time derivative, predicted conserved vector, primitives and transport values) of the interior.
// `scratch` holds the working rows of `count` nodes (AllocateWorkingRows).
void PredictorSweep(Node** mesh, int rowCount, int count, double* scratch, const StepConstants& c);

// Fluxes of the predicted state at every node, and the new state of the interior: the average of
// the current state and the predicted state advanced by the predicted fluxes' rearward differences.
void CorrectorSweep(Node** mesh, int rowCount, int count, double* scratch, const StepConstants& c);

}  // namespace Nembra::step
