#pragma once

// The working rows of the step: plain arrays of one quantity along a mesh row, carved out of
// the solver's scratch, into which the records of a row are gathered and from which each formula
// is evaluated across the row in a vector loop. A few rows of each kind are kept in rings, so
// that the flux phase of a row and the update of the row before it can run together.

#include <cstddef>

namespace Nembra::step {

// The one-sided stencils of the first and the last row reach three rows inward, and the update
// of a row reads the fluxes of the row after it: the last four rows gathered are kept.
constexpr int kRingRows = 4;
// Working rows are a whole number of cache lines long.
constexpr int kRowAlignment = 8;
// The mesh's rows of records start on a cache-line boundary, so that the writers know which of a
// record's lines they fill completely (WriteBack.h).
constexpr std::size_t kRecordRowAlignment = 64;

// What the step reads of one row of records.
struct GatheredRow {
    // The state whose fluxes are built: u, v and T for the gradients, and the flux inputs with
    // the absolute values that the fluxes take.
    double* u;
    double* v;
    double* t;
    double* rho;
    double* p;
    double* et;
    double* mu;
    double* k;
    double* q[4];   // current conserved vector
    double* qp[4];  // predicted conserved vector, read by the corrector
};
constexpr int kArraysPerGatheredRow = 16;

// What the update of one interior row leaves for writing back into its records.
struct RowResults {
    double* dudt[4];     // predictor time derivative
    double* updated[4];  // conserved vector being decoded: predicted or corrected
    // Primitives and transport values decoded from `updated`.
    double* u;
    double* v;
    double* eint;
    double* t;
    double* p;
    double* mu;
    double* k;
};
constexpr int kArraysPerRowResults = 15;

// A row's results are written back while the next row is updated, from the fluxes of that row
// and of the row after it: the fluxes of three consecutive rows are kept, and the results of two.
constexpr int kFluxRows = 3;
constexpr int kResultRows = 2;

// The working rows of a step, each `stride` doubles long.
struct StepRows {
    GatheredRow ring[kRingRows];  // row i sits at i % kRingRows
    double* dUdX;
    double* dUdY;
    double* dVdX;
    double* dVdY;
    double* dTdX;
    double* dTdY;
    double* e[kFluxRows][4];  // row i's E at i % kFluxRows
    double* f[kFluxRows][4];
    RowResults results[kResultRows];  // row i's at i % kResultRows
    double* ratio;  // temperature over the reference temperature, of the row being decoded
    double* power;  // that ratio to the power 1.5
};
constexpr int kStepArrayCount =
    kRingRows * kArraysPerGatheredRow + 6 + kFluxRows * 8 + kResultRows * kArraysPerRowResults + 2;

// Doubles per working row: nodesPerRow rounded up to whole cache lines.
std::size_t StepRowStride(int nodesPerRow);
// The working rows laid over `scratch`, which holds kStepArrayCount rows of StepRowStride.
StepRows MapStepRows(double* scratch, int nodesPerRow);
// Scratch for the working rows of nodesPerRow nodes (null for none); false when it could not be
// had. Released with delete[].
bool AllocateWorkingRows(double*& scratch, int nodesPerRow);

// The solver members that the row kernels read.
struct StepConstants {
    double deltaX;
    double deltaY;
    double deltaT;
    double cv;
    double gasConstant;
    double tRef;
    double muRef;
    double cp;
    double prandtl;
};

}  // namespace Nembra::step
