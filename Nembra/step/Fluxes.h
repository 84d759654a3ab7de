#pragma once

// Phases 1 and 4 on one row: the gradients of u, v and T (central inside, third-order one-sided
// at the edges), the Newtonian stresses and the Fourier heat flux, and the fluxes E and F of the
// gathered state, each formula a vector loop across the row in its own order of operations.

#include "Nembra/step/WorkingRows.h"

namespace Nembra::step {

// E and F of row i of rowCount rows, with the viscous stresses and the heat flux of the row's
// gradients, into the row's flux working rows. The ring must hold the rows that the gradients
// across rows read (GatherRowsFor).
void ComputeRowFluxes(const StepRows& w, int i, int rowCount, int count, const StepConstants& c);

}  // namespace Nembra::step
