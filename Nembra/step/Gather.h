#pragma once

// Gathering: what the flux and update phases read of a row of records, copied into the working
// rows of one GatheredRow in one pass (a block of four records at a time), with the absolute
// values that the fluxes take already applied. One read of each record per phase; the formulas
// then run over plain arrays.

#include "Nembra/step/Vector.h"
#include "Nembra/step/WorkingRows.h"

namespace Nembra::step {

// The current state of a row, for the predictor.
void GatherCurrentRow(const Node* row, int count, const GatheredRow& g);
// The predicted state of a row, for the corrector, with the current and the predicted conserved
// vectors that the corrector averages. The fluxes take the predicted density from QProspect[0].
void GatherPredictedRow(const Node* row, int count, const GatheredRow& g);

using GatherRow = void (*)(const Node*, int, const GatheredRow&);

}  // namespace Nembra::step
