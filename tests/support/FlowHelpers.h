#pragma once

// Small conveniences shared by the flow solver's tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "support/FlowTestAccess.h"
#include "support/ReferenceFlow.h"

namespace Nembra {

// The live row table of a solver, with its shape.
struct MeshView {
    Node** rows;
    int imax;
    int jmax;
};

inline MeshView ViewOf(Solver& s) {
    int imax = -1;
    int jmax = -1;
    Node** rows = s.GetMeshNodes(imax, jmax);
    return MeshView{rows, imax, jmax};
}

inline reference::ReferenceMesh Snapshot(Solver& s) {
    const MeshView view = ViewOf(s);
    return reference::ReferenceMesh::CopyOf(view.rows, view.imax, view.jmax);
}

// Overwrites every node with a different physically valid state, and every other slot with
// noise, so that a step that forgets to write a slot, or reads a stale one, shows up.
inline void FillRandomField(Solver& s, std::uint32_t seed) {
    const MeshView view = ViewOf(s);
    const reference::FlowConstants c = reference::ConstantsOf(s);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> velocity(-300, 300), temperature(200, 600),
        pressure(5e4, 2e5), noise(-1e3, 1e3);
    for (int i = 0; i < view.imax; ++i) {
        for (int j = 0; j < view.jmax; ++j) {
            Node& n = view.rows[i][j];
            double* slots = reinterpret_cast<double*>(&n);
            for (int k = 0; k < reference::kSlotCount; ++k) {
                slots[k] = noise(random);
            }
            const double u = velocity(random);
            const double v = velocity(random);
            const double t = temperature(random);
            reference::Complete(n, u, v, t, pressure(random), c);
        }
    }
}

// Advances the solver and its reference copy `steps` times, comparing the time step and every
// slot of every node after each call.
inline void ExpectStepsMatchReference(Solver& solver, reference::ReferenceMesh& expected,
                                      int steps) {
    const reference::FlowConstants c = reference::ConstantsOf(solver);
    for (int step = 0; step < steps; ++step) {
        const double dt = reference::Step(expected, c);
        solver.UpdateDatas();
        ASSERT_EQ(solver.GetDeltaT(), dt) << "step " << step;
        ASSERT_EQ(reference::FirstDifference(ViewOf(solver).rows, expected), "") << "step " << step;
    }
}

}  // namespace Nembra
