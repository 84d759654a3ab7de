#include "Nembra/step/Sweeps.h"

#include <algorithm>
#include <cstdint>

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

// Whether the whole lines of the records go out with streaming stores: only with the 4-record
// blocks, and only when every row starts on a line, so that the writers know the lines.
bool StreamsMesh(RecordStores stores, Node* const* mesh, int rowCount) {
#ifdef NEMBRA_NODE_BLOCKS
    if (stores != RecordStores::kStreamed) {
        return false;
    }
    return std::all_of(mesh, mesh + rowCount, [](const Node* row) {
        return reinterpret_cast<std::uintptr_t>(row) % kRecordRowAlignment == 0;
    });
#else
    static_cast<void>(stores);
    static_cast<void>(mesh);
    static_cast<void>(rowCount);
    return false;
#endif
}

// Updates interior row i with `update` (PredictRow or CorrectRow) and, if row i-1 is interior
// too, writes row i-1 back with `Writer` block by block in between.
template <bool kStreamed, class Writer, class Update>
void UpdateRowWritingPrevious(Node** mesh, const StepRows& w, int i, int count,
                              const Update& update) {
    if (i - 1 < 1) {
        update(NoBlockWork{});
        return;
    }
    const Writer previous(mesh[i - 1], count, w, i - 1);
    update([previous](int j) { previous.template WriteBlock<kStreamed>(j); });
    previous.WriteRest(EndOfBlocks(1, count - 1));
}

// The predictor sweep, with the whole lines of the records streamed or stored through the cache.
template <bool kStreamed>
void Predict(Node** mesh, int rowCount, int count, double* scratch, const StepConstants& c) {
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
            UpdateRowWritingPrevious<kStreamed, PredictorRowWriter>(
                mesh, w, updated, count,
                [&](auto betweenBlocks) { PredictRow(w, updated, count, c, betweenBlocks); });
        }
    }
    if (rowCount - 2 >= 1) {
        PredictorRowWriter(mesh[rowCount - 2], count, w, rowCount - 2)
            .template WriteInteriorRow<kStreamed>();
    }
    PredictorRowWriter(mesh[rowCount - 1], count, w, rowCount - 1).WriteEdgeRow();
}

// The corrector sweep, with the whole lines of the records streamed or stored through the cache.
template <bool kStreamed>
void Correct(Node** mesh, int rowCount, int count, double* scratch, const StepConstants& c) {
    const StepRows w = MapStepRows(scratch, count);
    // The new state of the interior as soon as the fluxes of its row are known, written back
    // like the predictor's.
    int lastGathered = -1;
    for (int i = 0; i < rowCount; ++i) {
        GatherRowsFor(mesh, i, rowCount, count, w, GatherPredictedRow, lastGathered);
        ComputeRowFluxes(w, i, rowCount, count, c);
        if (i >= 1 && i < rowCount - 1) {
            UpdateRowWritingPrevious<kStreamed, CorrectorRowWriter>(
                mesh, w, i, count,
                [&](auto betweenBlocks) { CorrectRow(w, i, count, c, betweenBlocks); });
            continue;
        }
        if (i == rowCount - 1 && i - 1 >= 1) {
            CorrectorRowWriter(mesh[i - 1], count, w, i - 1).template WriteInteriorRow<kStreamed>();
        }
        CorrectorRowWriter(mesh[i], count, w, i).WriteEdgeRow();
    }
}

using Sweep = void (*)(Node**, int, int, double*, const StepConstants&);

// Runs the sweep with streamed stores where the mesh allows them, ordering them at the end.
void SweepWith(Sweep streamed, Sweep cached, Node** mesh, int rowCount, int count, double* scratch,
               const StepConstants& c, RecordStores stores) {
    if (StreamsMesh(stores, mesh, rowCount)) {
        streamed(mesh, rowCount, count, scratch, c);
#ifdef NEMBRA_NODE_BLOCKS
        OrderStreamedStores();
#endif
        return;
    }
    cached(mesh, rowCount, count, scratch, c);
}

}  // namespace

RecordStores RecordStoresFor(int rowCount, int count) {
    const double recordBytes = static_cast<double>(rowCount) * count * sizeof(Node);
    return recordBytes > kStreamedMeshBytes ? RecordStores::kStreamed : RecordStores::kCached;
}

void PredictorSweep(Node** mesh, int rowCount, int count, double* scratch, const StepConstants& c,
                    RecordStores stores) {
    SweepWith(Predict<true>, Predict<false>, mesh, rowCount, count, scratch, c, stores);
}

void CorrectorSweep(Node** mesh, int rowCount, int count, double* scratch, const StepConstants& c,
                    RecordStores stores) {
    SweepWith(Correct<true>, Correct<false>, mesh, rowCount, count, scratch, c, stores);
}

}  // namespace Nembra::step
