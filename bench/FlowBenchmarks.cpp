// The flow solver's step on meshes of three sizes (its parts alone: StepBenchmarks.cpp).
// Items per second are node updates per second.
#include <benchmark/benchmark.h>

#include <memory>

#include "Nembra/NavierStokesEquations2D.h"

namespace {

using Nembra::NavierStokesEquations2D;
using Node = NavierStokesEquations2D::_MeshNode;

// Calls made before timing starts: the initialising call lays the field, a few steps give it
// the gradients of a running simulation.
constexpr int kWarmUpCalls = 3;
// Calls left before the step limit at which the solver is replaced by a fresh one, outside the
// timed region, so that every timed call advances the field.
constexpr int kRecreateMargin = 2;

std::unique_ptr<NavierStokesEquations2D> MakeSolver(int imax, int jmax) {
    auto solver = imax == 70 && jmax == 70
                      ? std::make_unique<NavierStokesEquations2D>()
                      : std::make_unique<NavierStokesEquations2D>(imax, jmax, 1e-5, 10000);
    for (int call = 0; call < kWarmUpCalls; ++call) {
        solver->UpdateDatas();
    }
    return solver;
}

bool NearStepLimit(const NavierStokesEquations2D& solver) {
    return solver.GetStepCount() + kRecreateMargin >= solver.GetMaxStepCount();
}

// 70 x 70 is the default solver; the larger meshes come from the four-argument constructor.
void FlowStep(benchmark::State& state) {
    const int imax = static_cast<int>(state.range(0));
    const int jmax = static_cast<int>(state.range(1));
    auto solver = MakeSolver(imax, jmax);
    for (auto _ : state) {
        if (NearStepLimit(*solver)) {
            state.PauseTiming();
            solver = MakeSolver(imax, jmax);
            state.ResumeTiming();
        }
        solver->UpdateDatas();
    }
    state.SetItemsProcessed(state.iterations() * imax * jmax);
}
// Mesh sizes from well inside a core's second-level cache (35 x 35 records: 0.4 MB) to far
// beyond the last-level cache (560 x 560: 110 MB).
BENCHMARK(FlowStep)
    ->Args({35, 35})
    ->Args({50, 50})
    ->Args({70, 70})
    ->Args({100, 100})
    ->Args({140, 140})
    ->Args({200, 200})
    ->Args({280, 280})
    ->Args({400, 400})
    ->Args({560, 560})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
