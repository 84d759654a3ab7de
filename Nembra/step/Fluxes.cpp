#include "Nembra/step/Fluxes.h"

#include "Nembra/step/Stencils.h"
#include "Nembra/step/Vector.h"

namespace Nembra::step {
namespace {

struct ArrayValues {
    const double* f;
    double operator()(int k) const { return f[k]; }
};

struct RingColumn {
    const double* const* ring;
    int j;
    double operator()(int k) const { return ring[k % kRingRows][j]; }
};

// d/dy along a row of `count` values: central inside, HighOrderDerivative's stencils at the ends.
void DerivativeAlongRow(const double* f, int count, double h, double* out) {
    const double twoH = 2 * h;
    NEMBRA_VECTOR_LOOP
    for (int j = 1; j < count - 1; ++j) {
        out[j] = (f[j + 1] - f[j - 1]) / twoH;
    }
    out[0] = HighOrderDerivative(ArrayValues{f}, 0, count, h);
    out[count - 1] = HighOrderDerivative(ArrayValues{f}, count - 1, count, h);
}

// d/dx of one gathered quantity at row i of rowCount rows.
void DerivativeAcrossRows(const StepRows& w, double* GatheredRow::*quantity, int i, int rowCount,
                          int count, double h, double* out) {
    const double* ring[kRingRows];
    for (int r = 0; r < kRingRows; ++r) {
        ring[r] = w.ring[r].*quantity;
    }
    if (i > 0 && i < rowCount - 1) {
        const double* next = ring[(i + 1) % kRingRows];
        const double* previous = ring[(i - 1) % kRingRows];
        const double twoH = 2 * h;
        NEMBRA_VECTOR_LOOP
        for (int j = 0; j < count; ++j) {
            out[j] = (next[j] - previous[j]) / twoH;
        }
        return;
    }
    for (int j = 0; j < count; ++j) {
        out[j] = HighOrderDerivative(RingColumn{ring, j}, i, rowCount, h);
    }
}

}  // namespace

void ComputeRowFluxes(const StepRows& w, int i, int rowCount, int count, const StepConstants& c) {
    const GatheredRow& g = w.ring[i % kRingRows];
    DerivativeAlongRow(g.u, count, c.deltaY, w.dUdY);
    DerivativeAlongRow(g.v, count, c.deltaY, w.dVdY);
    DerivativeAlongRow(g.t, count, c.deltaY, w.dTdY);
    DerivativeAcrossRows(w, &GatheredRow::u, i, rowCount, count, c.deltaX, w.dUdX);
    DerivativeAcrossRows(w, &GatheredRow::v, i, rowCount, count, c.deltaX, w.dVdX);
    DerivativeAcrossRows(w, &GatheredRow::t, i, rowCount, count, c.deltaX, w.dTdX);

    const double* const dUdX = w.dUdX;
    const double* const dUdY = w.dUdY;
    const double* const dVdX = w.dVdX;
    const double* const dVdY = w.dVdY;
    const double* const dTdX = w.dTdX;
    const double* const dTdY = w.dTdY;
    const GatheredRow s = g;
    double* const e0 = w.e[i % kFluxRows][0];
    double* const e1 = w.e[i % kFluxRows][1];
    double* const e2 = w.e[i % kFluxRows][2];
    double* const e3 = w.e[i % kFluxRows][3];
    double* const f0 = w.f[i % kFluxRows][0];
    double* const f1 = w.f[i % kFluxRows][1];
    double* const f2 = w.f[i % kFluxRows][2];
    double* const f3 = w.f[i % kFluxRows][3];
    NEMBRA_VECTOR_LOOP
    for (int j = 0; j < count; ++j) {
        double tauXX = 0;
        double tauXY = 0;
        double tauYY = 0;
        StokesStress(tauXX, tauXY, tauYY, dUdX[j], dUdY[j], dVdX[j], dVdY[j], s.mu[j]);
        const double qX = -(s.k[j] * dTdX[j]);
        const double qY = -(s.k[j] * dTdY[j]);
        const double rho = s.rho[j];
        const double u = s.u[j];
        const double v = s.v[j];
        const double p = s.p[j];
        const double et = s.et[j];
        // The shear term of E[2] and F[1] is one and the same number.
        const double shear = rho * u * v - tauXY;
        e0[j] = rho * u;
        e1[j] = rho * u * u + p - tauXX;
        e2[j] = shear;
        e3[j] = (et + p - tauXX) * u - tauXY * v + qX;
        f0[j] = rho * v;
        f1[j] = shear;
        f2[j] = rho * v * v + p - tauYY;
        f3[j] = (et + p - tauYY) * v - tauXY * u + qY;
    }
}

}  // namespace Nembra::step
