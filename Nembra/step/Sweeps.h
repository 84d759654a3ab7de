#pragma once

// The two sweeps of a MacCormack step over the mesh, row by row: the predictor (phases 1 and 2)
// and the corrector (phases 4 and 5). The solver runs the predicted edge values (phase 3) between
// them. Each sweep runs as a wavefront, the fluxes of row i beside the update of row i-1 and the
// write-back of row i-2, so that every row is still in cache when the next phase needs it.

#include "Nembra/step/Vector.h"
#include "Nembra/step/WorkingRows.h"

namespace Nembra::step {

// How the sweeps write the lines of records that they overwrite completely. Cached stores first
// read each line for ownership, and leave it in the caches for the next pass; streamed stores
// send whole lines to memory without reading them first. Once the records no longer fit the
// last-level cache they are read from memory in the next pass anyway, and every line that need
// not be read saves its transfer; smaller meshes stay faster with cached stores.
enum class RecordStores { kCached, kStreamed };

// Streamed stores for meshes whose records exceed kStreamedMeshBytes, cached ones below.
RecordStores RecordStoresFor(int rowCount, int count);
constexpr double kStreamedMeshBytes = 16.0 * 1024 * 1024;

// Fluxes of the current state at every node of rowCount x count records, and the predicted state
// (time derivative, predicted conserved vector, primitives and transport values) of the interior.
// `scratch` holds the working rows of `count` nodes (AllocateWorkingRows).
void PredictorSweep(Node** mesh, int rowCount, int count, double* scratch, const StepConstants& c,
                    RecordStores stores);

// Fluxes of the predicted state at every node, and the new state of the interior: the average of
// the current state and the predicted state advanced by the predicted fluxes' rearward differences.
void CorrectorSweep(Node** mesh, int rowCount, int count, double* scratch, const StepConstants& c,
                    RecordStores stores);

}  // namespace Nembra::step
