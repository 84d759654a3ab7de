#pragma once

// The difference stencils of the gradients and the Newtonian stress, shared by the solver's
// node-by-node routines and the step's row kernels: one definition each, so that both evaluate
// the same operations in the same order and give the same bits.

namespace Nembra::step {

// One gradient component along a line of n nodes with spacing h, at index m. From four nodes on:
// central inside, third-order one-sided at both ends. Fewer nodes fall back to the lowest-order
// stencils that stay inside the line.
template <typename Value>
double HighOrderDerivative(const Value& f, int m, int n, double h) {
    if (n >= 4) {
        const int last = n - 1;
        if (m == 0) {
            return (18 * f(1) - 11 * f(0) - 9 * f(2) + 2 * f(3)) / (6 * h);
        }
        if (m == last) {
            return (11 * f(last) - 18 * f(last - 1) + 9 * f(last - 2) - 2 * f(last - 3)) / (6 * h);
        }
        return (f(m + 1) - f(m - 1)) / (2 * h);
    }
    if (n == 3) {
        if (m == 0) {
            return (-3 * f(0) + 4 * f(1) - f(2)) / (2 * h);
        }
        if (m == 2) {
            return (3 * f(2) - 4 * f(1) + f(0)) / (2 * h);
        }
        return (f(2) - f(0)) / (2 * h);
    }
    if (n == 2) {
        return (f(1) - f(0)) / h;
    }
    return 0.0;
}

// First-order stencils: one-sided along the flux direction, central across it.
enum class Stencil { Rearward, Forward, Central };

template <typename Value>
double FirstOrderDerivative(const Value& f, int m, int n, double h, Stencil inside) {
    if (n < 2) {
        return 0.0;
    }
    if (m == 0) {
        return (f(1) - f(0)) / h;
    }
    if (m == n - 1) {
        return (f(m) - f(m - 1)) / h;
    }
    switch (inside) {
        case Stencil::Rearward:
            return (f(m) - f(m - 1)) / h;
        case Stencil::Forward:
            return (f(m + 1) - f(m)) / h;
        case Stencil::Central:
            break;
    }
    return (f(m + 1) - f(m - 1)) / (2 * h);
}

// Newtonian stresses under Stokes' hypothesis: the second viscosity coefficient is -2 mu / 3.
inline void StokesStress(double& tauXX, double& tauXY, double& tauYY, double dUdX, double dUdY,
                         double dVdX, double dVdY, double mu) {
    const double L = ((-2 * mu) / 3) * (dUdX + dVdY);
    tauXX = dUdX * (2 * mu) + L;
    tauYY = L + (2 * mu) * dVdY;
    tauXY = mu * (dUdY + dVdX);
}

}  // namespace Nembra::step
