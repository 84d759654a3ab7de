#pragma once

// A plain, node-by-node evaluation of the flow model, written from the formulas and kept apart
// from the library so that the solver can be compared with it to the last bit. It works on its
// own copy of a mesh. Every expression keeps the order of operations of its formula: numerators
// accumulate left to right, a denominator is formed before the one division, absolute values
// stand exactly where the formula puts them. Compile with -ffp-contract=off.

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/FlowTestAccess.h"

namespace Nembra::reference {

// The solver members that the formulas read.
struct FlowConstants {
    double dx, dy, cv, cp, gasConstant, prandtl, gamma, muRef, tRef, courant;
};

inline FlowConstants ConstantsOf(const FlowMembers& m) {
    return FlowConstants{m.DeltaX,  m.DeltaY, m.Cv,    m.Cp,   m.GasConstant,
                         m.Prandtl, m.Gamma,  m.MuRef, m.TRef, m.Courant};
}
inline FlowConstants ConstantsOf(const Solver& s) {
    return ConstantsOf(Access::Members(s));
}

// An imax x jmax mesh in one block, node (i, j) at i * jmax + j.
struct ReferenceMesh {
    int imax = 0;
    int jmax = 0;
    std::vector<Node> nodes;

    Node& at(int i, int j) { return nodes[static_cast<std::size_t>(i) * jmax + j]; }
    const Node& at(int i, int j) const { return nodes[static_cast<std::size_t>(i) * jmax + j]; }
    bool IsEdge(int i, int j) const { return i == 0 || j == 0 || i == imax - 1 || j == jmax - 1; }

    static ReferenceMesh CopyOf(Node* const* rows, int imax, int jmax) {
        ReferenceMesh mesh{imax, jmax, {}};
        for (int i = 0; i < imax; ++i) {
            mesh.nodes.insert(mesh.nodes.end(), rows[i], rows[i] + jmax);
        }
        return mesh;
    }
};

constexpr int kSlotCount = static_cast<int>(sizeof(Node) / sizeof(double));

inline double Slot(const Node& n, int slot) {
    double value;
    std::memcpy(&value, reinterpret_cast<const char*>(&n) + slot * sizeof(double), sizeof value);
    return value;
}

// Empty when every slot of every node holds the same bits, else where they first differ.
inline std::string FirstDifference(Node* const* rows, const ReferenceMesh& expected) {
    for (int i = 0; i < expected.imax; ++i) {
        for (int j = 0; j < expected.jmax; ++j) {
            for (int s = 0; s < kSlotCount; ++s) {
                const double actual = Slot(rows[i][j], s);
                const double wanted = Slot(expected.at(i, j), s);
                if (std::memcmp(&actual, &wanted, sizeof actual) != 0) {
                    char text[160];
                    std::snprintf(text, sizeof text, "node [%d][%d] slot %d: %.17g, expected %.17g",
                                  i, j, s, actual, wanted);
                    return text;
                }
            }
        }
    }
    return std::string();
}

// --- Gas model and node-state completion ---------------------------------------------------

inline double Sutherland(double t, double tRef, double muRef) {
    return std::fabs(std::pow(std::fabs(t) / tRef, 1.5) * muRef * (tRef + 110) /
                     (std::fabs(t) + 110));
}

inline double Conductivity(double mu, const FlowConstants& c) {
    return std::fabs(mu * c.cp / c.prandtl);
}

inline void Complete(Node& n, double u, double v, double t, double p, const FlowConstants& c) {
    n.U = u;
    n.V = v;
    n.T = std::fabs(t);
    n.P = std::fabs(p);
    n.Rho = std::fabs(n.P / (n.T * c.gasConstant));
    n.RhoU = n.Rho * u;
    n.RhoV = n.Rho * v;
    n.Eint = std::fabs(n.T * c.cv);
    n.Et = std::fabs(n.Rho * (n.Eint + (u * u + v * v) * 0.5));
    n.Mu = Sutherland(n.T, c.tRef, c.muRef);
    n.K = Conductivity(n.Mu, c);
}

inline void CompleteProspect(Node& n, double u, double v, double t, double p,
                             const FlowConstants& c) {
    n.UProspect = u;
    n.VProspect = v;
    n.TProspect = std::fabs(t);
    n.PProspect = std::fabs(p);
    n.RhoProspect = std::fabs(n.PProspect / (n.TProspect * c.gasConstant));
    n.QProspect[0] = n.RhoProspect;
    n.QProspect[1] = n.RhoProspect * u;
    n.QProspect[2] = n.RhoProspect * v;
    n.EintProspect = std::fabs(n.TProspect * c.cv);
    n.EtProspect = std::fabs(n.RhoProspect * (n.EintProspect + (u * u + v * v) * 0.5));
    n.QProspect[3] = n.EtProspect;
    n.MuProspect = Sutherland(n.TProspect, c.tRef, c.muRef);
    n.KProspect = Conductivity(n.MuProspect, c);
}

constexpr double kRestT = 288.16;
constexpr double kRestP = 101325;

inline void CompleteAtRest(Node& n, const FlowConstants& c) {
    Complete(n, 0, 0, kRestT, kRestP, c);
}

// --- Initial field and closed-box edges -----------------------------------------------------

// Air at rest everywhere, then the hot block of 11 x 11 nodes around (imax/2, jmax/2), clipped.
inline void InitialField(ReferenceMesh& mesh, const FlowConstants& c) {
    for (Node& n : mesh.nodes) {
        CompleteAtRest(n, c);
    }
    const int ci = mesh.imax / 2;
    const int cj = mesh.jmax / 2;
    for (int i = ci - 5; i <= ci + 5; ++i) {
        for (int j = cj - 5; j <= cj + 5; ++j) {
            if (i >= 0 && i < mesh.imax && j >= 0 && j < mesh.jmax) {
                Complete(mesh.at(i, j), 6400, 0, 576.32, 121590, c);
            }
        }
    }
}

inline void ClosedBoxEdges(ReferenceMesh& mesh, const FlowConstants& c) {
    for (int i = 0; i < mesh.imax; ++i) {
        for (int j = 0; j < mesh.jmax; ++j) {
            if (mesh.IsEdge(i, j)) {
                CompleteAtRest(mesh.at(i, j), c);
            }
        }
    }
}

inline void ClosedBoxEdgesProspect(ReferenceMesh& mesh, const FlowConstants& c) {
    for (int i = 0; i < mesh.imax; ++i) {
        for (int j = 0; j < mesh.jmax; ++j) {
            if (mesh.IsEdge(i, j)) {
                CompleteProspect(mesh.at(i, j), 0, 0, kRestT, kRestP, c);
            }
        }
    }
}

// --- Gradient stencils ----------------------------------------------------------------------

// How one direction is differenced. HighOrder: third-order one-sided at the ends, central
// inside. Rearward / Forward: first-order one-sided along the flux direction, the other side
// only where no neighbour exists. Across: central inside, first-order one-sided at the ends.
enum class Scheme { HighOrder, Rearward, Forward, Across };

// Derivative at index m of the n samples f(0..n-1) spaced h apart. Directions too short for
// the stencil fall back to lower orders.
template <class Sample>
double Derivative(Scheme scheme, const Sample& f, int m, int n, double h) {
    if (n < 2) {
        return 0.0;
    }
    const int last = n - 1;
    const auto forward = [&] { return (f(m + 1) - f(m)) / h; };
    const auto rearward = [&] { return (f(m) - f(m - 1)) / h; };
    const auto central = [&] { return (f(m + 1) - f(m - 1)) / (2 * h); };
    switch (scheme) {
        case Scheme::Rearward:
            return m == 0 ? forward() : rearward();
        case Scheme::Forward:
            return m == last ? rearward() : forward();
        case Scheme::Across:
            return m == 0 ? forward() : m == last ? rearward() : central();
        case Scheme::HighOrder:
            break;
    }
    if (n == 2) {
        return (f(1) - f(0)) / h;
    }
    if (n == 3) {
        if (m == 0) {
            return (-3 * f(0) + 4 * f(1) - f(2)) / (2 * h);
        }
        if (m == last) {
            return (3 * f(2) - 4 * f(1) + f(0)) / (2 * h);
        }
        return central();
    }
    if (m == 0) {
        return (18 * f(1) - 11 * f(0) - 9 * f(2) + 2 * f(3)) / (6 * h);
    }
    if (m == last) {
        return (11 * f(last) - 18 * f(last - 1) + 9 * f(last - 2) - 2 * f(last - 3)) / (6 * h);
    }
    return central();
}

struct RoutineSchemes {
    Scheme x, y;
    bool prospect;
};

inline RoutineSchemes SchemesOf(GradientRoutine routine) {
    switch (routine) {
        case GradientRoutine::High:
            return {Scheme::HighOrder, Scheme::HighOrder, false};
        case GradientRoutine::HighProspect:
            return {Scheme::HighOrder, Scheme::HighOrder, true};
        case GradientRoutine::CurrentE:
            return {Scheme::Rearward, Scheme::Across, false};
        case GradientRoutine::CurrentF:
            return {Scheme::Across, Scheme::Rearward, false};
        case GradientRoutine::ProspectE:
            return {Scheme::Forward, Scheme::Across, true};
        case GradientRoutine::ProspectF:
            return {Scheme::Across, Scheme::Forward, true};
    }
    return {Scheme::HighOrder, Scheme::HighOrder, false};
}

inline Gradients GradientsAt(const ReferenceMesh& mesh, GradientRoutine routine, int i, int j,
                             const FlowConstants& c) {
    const RoutineSchemes s = SchemesOf(routine);
    const auto alongX = [&](double Node::*slot) {
        const auto f = [&](int m) { return mesh.at(m, j).*slot; };
        return Derivative(s.x, f, i, mesh.imax, c.dx);
    };
    const auto alongY = [&](double Node::*slot) {
        const auto f = [&](int m) { return mesh.at(i, m).*slot; };
        return Derivative(s.y, f, j, mesh.jmax, c.dy);
    };
    double Node::*u = s.prospect ? &Node::UProspect : &Node::U;
    double Node::*v = s.prospect ? &Node::VProspect : &Node::V;
    double Node::*t = s.prospect ? &Node::TProspect : &Node::T;
    Gradients g;
    g.dUdY = alongY(u);
    g.dVdY = alongY(v);
    g.dTdY = alongY(t);
    g.dUdX = alongX(u);
    g.dVdX = alongX(v);
    g.dTdX = alongX(t);
    return g;
}

// --- Fluxes, predictor and corrector --------------------------------------------------------

struct FluxInputs {
    double rho, u, v, p, et, mu, k;
};

// E and F of one state with Newtonian stresses (Stokes' hypothesis) and Fourier heat flux.
inline void Fluxes(const FluxInputs& s, const Gradients& g, double* e, double* f) {
    const double lambdaTerm = (-2 * s.mu / 3) * (g.dUdX + g.dVdY);
    const double tauXX = lambdaTerm + 2 * s.mu * g.dUdX;
    const double tauYY = lambdaTerm + 2 * s.mu * g.dVdY;
    const double tauXY = s.mu * (g.dUdY + g.dVdX);
    const double qX = -(s.k * g.dTdX);
    const double qY = -(s.k * g.dTdY);
    e[0] = s.rho * s.u;
    e[1] = s.rho * s.u * s.u + s.p - tauXX;
    e[2] = s.rho * s.u * s.v - tauXY;
    e[3] = (s.et + s.p - tauXX) * s.u - tauXY * s.v + qX;
    f[0] = s.rho * s.v;
    f[1] = s.rho * s.u * s.v - tauXY;
    f[2] = s.rho * s.v * s.v + s.p - tauYY;
    f[3] = (s.et + s.p - tauYY) * s.v - tauXY * s.u + qY;
}

inline void CurrentFluxes(ReferenceMesh& mesh, const FlowConstants& c) {
    for (int i = 0; i < mesh.imax; ++i) {
        for (int j = 0; j < mesh.jmax; ++j) {
            Node& n = mesh.at(i, j);
            const Gradients g = GradientsAt(mesh, GradientRoutine::High, i, j, c);
            const FluxInputs in{std::fabs(n.Rho), n.U,  n.V, std::fabs(n.P),
                                std::fabs(n.Et),  n.Mu, n.K};
            Fluxes(in, g, n.FluxE, n.FluxF);
        }
    }
}

inline void PredictedFluxes(ReferenceMesh& mesh, const FlowConstants& c) {
    for (int i = 0; i < mesh.imax; ++i) {
        for (int j = 0; j < mesh.jmax; ++j) {
            Node& n = mesh.at(i, j);
            const Gradients g = GradientsAt(mesh, GradientRoutine::HighProspect, i, j, c);
            const FluxInputs in{
                std::fabs(n.QProspect[0]), n.UProspect,  n.VProspect, std::fabs(n.PProspect),
                std::fabs(n.EtProspect),   n.MuProspect, n.KProspect};
            Fluxes(in, g, n.FluxEProspect, n.FluxFProspect);
        }
    }
}

inline void Predictor(ReferenceMesh& mesh, const FlowConstants& c, double dt) {
    for (int i = 1; i < mesh.imax - 1; ++i) {
        for (int j = 1; j < mesh.jmax - 1; ++j) {
            Node& n = mesh.at(i, j);
            const Node& east = mesh.at(i + 1, j);
            const Node& north = mesh.at(i, j + 1);
            const double q[4] = {n.Rho, n.RhoU, n.RhoV, n.Et};
            for (int k = 0; k < 4; ++k) {
                n.DUDt[k] =
                    -((east.FluxE[k] - n.FluxE[k]) / c.dx + (north.FluxF[k] - n.FluxF[k]) / c.dy);
                n.QProspect[k] = q[k] + n.DUDt[k] * dt;
            }
            n.QProspect[0] = std::fabs(n.QProspect[0]);
            n.QProspect[3] = std::fabs(n.QProspect[3]);
            n.RhoProspect = n.QProspect[0];
            n.UProspect = n.QProspect[1] / n.RhoProspect;
            n.VProspect = n.QProspect[2] / n.RhoProspect;
            n.EtProspect = n.QProspect[3];
            n.EintProspect =
                std::fabs(n.EtProspect / n.RhoProspect -
                          (n.UProspect * n.UProspect + n.VProspect * n.VProspect) * 0.5);
            n.TProspect = std::fabs(n.EintProspect / c.cv);
            n.PProspect = std::fabs(n.RhoProspect * c.gasConstant * n.TProspect);
            n.MuProspect = Sutherland(n.TProspect, c.tRef, c.muRef);
            n.KProspect = Conductivity(n.MuProspect, c);
        }
    }
}

inline void Corrector(ReferenceMesh& mesh, const FlowConstants& c, double dt) {
    for (int i = 1; i < mesh.imax - 1; ++i) {
        for (int j = 1; j < mesh.jmax - 1; ++j) {
            Node& n = mesh.at(i, j);
            const Node& west = mesh.at(i - 1, j);
            const Node& south = mesh.at(i, j - 1);
            const double q[4] = {n.Rho, n.RhoU, n.RhoV, n.Et};
            double next[4];
            for (int k = 0; k < 4; ++k) {
                next[k] = 0.5 * ((n.QProspect[k] + q[k]) -
                                 dt * ((n.FluxFProspect[k] - south.FluxFProspect[k]) / c.dy +
                                       (n.FluxEProspect[k] - west.FluxEProspect[k]) / c.dx));
            }
            n.Rho = std::fabs(next[0]);
            n.RhoU = next[1];
            n.RhoV = next[2];
            n.U = n.RhoU / n.Rho;
            n.V = n.RhoV / n.Rho;
            n.Et = std::fabs(next[3]);
            n.Eint = std::fabs(n.Et / n.Rho - 0.5 * (n.U * n.U + n.V * n.V));
            n.T = std::fabs(n.Eint / c.cv);
            n.P = std::fabs(n.Rho * c.gasConstant * n.T);
            n.Mu = Sutherland(n.T, c.tRef, c.muRef);
            n.K = Conductivity(n.Mu, c);
        }
    }
}

// The five phases of one MacCormack step with closed-box predicted edge values.
inline void MacCormack(ReferenceMesh& mesh, const FlowConstants& c, double dt) {
    CurrentFluxes(mesh, c);
    Predictor(mesh, c, dt);
    ClosedBoxEdgesProspect(mesh, c);
    PredictedFluxes(mesh, c);
    Corrector(mesh, c, dt);
}

// --- Time step ------------------------------------------------------------------------------

// Courant-limited time step of the current field; -1 for an empty mesh.
inline double TimeStep(const ReferenceMesh& mesh, const FlowConstants& c) {
    const double spacing = 1 / (c.dx * c.dx) + 1 / (c.dy * c.dy);
    const double viscousFactor = std::fabs((c.gamma * 4) / (c.prandtl * 3));
    const double soundFactor = c.gamma * c.gasConstant;
    double largestDiffusivity = 0;
    for (const Node& n : mesh.nodes) {
        const double diffusivity = (n.Mu * viscousFactor) / n.Rho;
        if (diffusivity > largestDiffusivity) {
            largestDiffusivity = diffusivity;
        }
    }
    double smallest = -1;
    for (const Node& n : mesh.nodes) {
        const double acoustic =
            std::sqrt(std::fabs(n.T * soundFactor)) * std::sqrt(std::fabs(spacing));
        const double convective = std::fabs(n.U) / c.dx + std::fabs(n.V) / c.dy;
        const double viscous = 2 * largestDiffusivity * spacing;
        const double step = c.courant / (acoustic + convective + viscous);
        if (smallest < 0) {
            smallest = step;
        }
        if (smallest > step) {
            smallest = step;
        }
    }
    return smallest;
}

// One advancing call of the driver on the closed box: time step, MacCormack step, edge values.
// Returns the time step used.
inline double Step(ReferenceMesh& mesh, const FlowConstants& c) {
    const double dt = TimeStep(mesh, c);
    MacCormack(mesh, c, dt);
    ClosedBoxEdges(mesh, c);
    return dt;
}

}  // namespace Nembra::reference
