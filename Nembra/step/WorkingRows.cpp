#include "Nembra/step/WorkingRows.h"

#include <cstdint>
#include <initializer_list>
#include <new>

namespace Nembra::step {

std::size_t StepRowStride(int nodesPerRow) {
    const auto n = static_cast<std::size_t>(nodesPerRow);
    return (n + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
}

StepRows MapStepRows(double* scratch, int nodesPerRow) {
    const std::size_t stride = StepRowStride(nodesPerRow);
    double* next = scratch;
    const auto take = [&next, stride] {
        double* row = next;
        next += stride;
        return row;
    };
    StepRows w{};
    for (GatheredRow& g : w.ring) {
        for (double** row : {&g.u, &g.v, &g.t, &g.rho, &g.p, &g.et, &g.mu, &g.k}) {
            *row = take();
        }
        for (int c = 0; c < 4; ++c) {
            g.q[c] = take();
            g.qp[c] = take();
        }
    }
    for (double** row :
         {&w.dUdX, &w.dUdY, &w.dVdX, &w.dVdY, &w.dTdX, &w.dTdY, &w.ratio, &w.power}) {
        *row = take();
    }
    for (int r = 0; r < kFluxRows; ++r) {
        for (int c = 0; c < 4; ++c) {
            w.e[r][c] = take();
            w.f[r][c] = take();
        }
    }
    for (RowResults& r : w.results) {
        for (int c = 0; c < 4; ++c) {
            r.dudt[c] = take();
            r.updated[c] = take();
        }
        for (double** row : {&r.u, &r.v, &r.eint, &r.t, &r.p, &r.mu, &r.k}) {
            *row = take();
        }
    }
    return w;
}

bool AllocateWorkingRows(double*& scratch, int nodesPerRow) {
    scratch = nullptr;
    if (nodesPerRow <= 0) {
        return true;
    }
    const std::size_t stride = StepRowStride(nodesPerRow);
    if (stride > PTRDIFF_MAX / sizeof(double) / kStepArrayCount) {
        return false;
    }
    scratch = new (std::nothrow) double[stride * kStepArrayCount];
    return scratch != nullptr;
}

}  // namespace Nembra::step
