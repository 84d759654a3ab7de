#include "Nembra/step/Sweeps.h"

#include <algorithm>

#include "Nembra/step/Fluxes.h"
#include "Nembra/step/Gather.h"
#include "Nembra/step/Update.h"
#include "Nembra/step/WriteBack.h"

namespace Nembra::step {
namespace {

// Makes sure that the ring holds every row that the gradients and the update of row i read.
void GatherRowsFor(Node** mesh, int i, int rowCount, int count, const StepRows& w, GatherRow gather,
                   int& lastGathered) {
    const int needed = std::min(i == 0 ? kRingRows - 1 : i + 1, rowCount - 1);
    while (lastGathered < needed) {
        ++lastGathered;
        gather(mesh[lastGathered], count, w.ring[lastGathered % kRingRows]);
    }
}

// Updates interior row i with `update` (PredictRow or CorrectRow) and, if row i-1 is interior
// too, writes row i-1 back with `Writer` block by block in between.
template <class Writer, class Update>
void UpdateRowWritingPrevious(Node** mesh, const StepRows& w, int i, int count,
                              const Update& update) {
    if (i - 1 < 1) {
        update(NoBlockWork{});
        return;
    }
    const Writer previous(mesh[i - 1], count, w, i - 1);
    update([previous](int j) { previous.WriteBlock(j); });
    previous.WriteRest(EndOfBlocks(1, count - 1));
}

}  // namespace

void PredictorSweep(Node** mesh, int rowCount, int count, double* scratch, const StepConstants& c) {
    const StepRows w = MapStepRows(scratch, count);
    // The predicted state of the interior one row behind the fluxes it differences. Each
    // interior row is written back while the next one is decoded.
    int lastGathered = -1;
    for (int i = 0; i < rowCount; ++i) {
        GatherRowsFor(mesh, i, rowCount, count, w, GatherCurrentRow, lastGathered);
        ComputeRowFluxes(w, i, rowCount, count, c);
        const int updated = i - 1;  // the row whose update the fluxes of row i complete
        if (updated == 0) {
            PredictorRowWriter(mesh[0], count, w, 0).WriteEdgeRow();
        } else if (updated >= 1) {
            UpdateRowWritingPrevious<PredictorRowWriter>(
                mesh, w, updated, count,
                [&](auto betweenBlocks) { PredictRow(w, updated, count, c, betweenBlocks); });
        }
    }
    if (rowCount - 2 >= 1) {
        PredictorRowWriter(mesh[rowCount - 2], count, w, rowCount - 2).WriteInteriorRow();
    }
    PredictorRowWriter(mesh[rowCount - 1], count, w, rowCount - 1).WriteEdgeRow();
}

void CorrectorSweep(Node** mesh, int rowCount, int count, double* scratch, const StepConstants& c) {
    const StepRows w = MapStepRows(scratch, count);
    // The new state of the interior as soon as the fluxes of its row are known, written back
    // like the predictor's.
    int lastGathered = -1;
    for (int i = 0; i < rowCount; ++i) {
        GatherRowsFor(mesh, i, rowCount, count, w, GatherPredictedRow, lastGathered);
        ComputeRowFluxes(w, i, rowCount, count, c);
        if (i >= 1 && i < rowCount - 1) {
            UpdateRowWritingPrevious<CorrectorRowWriter>(
                mesh, w, i, count,
                [&](auto betweenBlocks) { CorrectRow(w, i, count, c, betweenBlocks); });
            continue;
        }
        if (i == rowCount - 1 && i - 1 >= 1) {
            CorrectorRowWriter(mesh[i - 1], count, w, i - 1).WriteInteriorRow();
        }
        CorrectorRowWriter(mesh[i], count, w, i).WriteEdgeRow();
    }
}

}  // namespace Nembra::step
