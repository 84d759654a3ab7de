// The straightforward step beside the library's: the tests' plain node-by-node evaluation of the
// same formulas (tests/support/ReferenceFlow.h), one node record after another in one block, as
// a first implementation would write it. Per call on the closed box, the time step alone, and
// whole default runs of both. scripts/bench prints them as the README's comparison table.
#include <benchmark/benchmark.h>

#include <memory>

#include "Nembra/NavierStokesEquations2D.h"
#include "support/FlowHelpers.h"
#include "support/ReferenceFlow.h"

namespace {

using Nembra::NavierStokesEquations2D;
namespace reference = Nembra::reference;

// As in FlowBenchmarks.cpp: the initialising call and a few steps before timing.
constexpr int kWarmUpCalls = 3;
// Calls after which the field is laid again, outside the timed region, so that the timed calls
// stay in the regime of the library's benchmark (which renews its solver at the step limit).
constexpr int kCallsPerField = 5000;
// The default solver's run: its initialising call and the steps up to its limit.
constexpr int kDefaultRunCalls = 10000;

struct StraightforwardField {
    reference::ReferenceMesh mesh;
    reference::FlowConstants constants;
};

// The closed box of the given size after the warm-up calls of the library's solver, copied.
StraightforwardField WarmField(int imax, int jmax) {
    auto solver = imax == 70 && jmax == 70
                      ? std::make_unique<NavierStokesEquations2D>()
                      : std::make_unique<NavierStokesEquations2D>(imax, jmax, 1e-5, 10000);
    for (int call = 0; call < kWarmUpCalls; ++call) {
        solver->UpdateDatas();
    }
    return StraightforwardField{Nembra::Snapshot(*solver), reference::ConstantsOf(*solver)};
}

void StraightforwardStep(benchmark::State& state) {
    const int imax = static_cast<int>(state.range(0));
    const int jmax = static_cast<int>(state.range(1));
    StraightforwardField field = WarmField(imax, jmax);
    int calls = 0;
    for (auto _ : state) {
        if (++calls == kCallsPerField) {
            state.PauseTiming();
            field = WarmField(imax, jmax);
            calls = 0;
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(reference::Step(field.mesh, field.constants));
    }
    state.SetItemsProcessed(state.iterations() * imax * jmax);
}
BENCHMARK(StraightforwardStep)
    ->Args({70, 70})
    ->Args({140, 140})
    ->Args({280, 280})
    ->Unit(benchmark::kMicrosecond);

// The Courant-limited time step alone (the library's counterpart: TimeStepScan).
void StraightforwardTimeStep(benchmark::State& state) {
    const StraightforwardField field = WarmField(70, 70);
    for (auto _ : state) {
        benchmark::DoNotOptimize(reference::TimeStep(field.mesh, field.constants));
    }
    state.SetItemsProcessed(state.iterations() * 70 * 70);
}
BENCHMARK(StraightforwardTimeStep)->Unit(benchmark::kMicrosecond);

// The default solver's whole run, construction included, as a host makes it.
void DefaultRun(benchmark::State& state) {
    for (auto _ : state) {
        NavierStokesEquations2D solver;
        for (int call = 0; call < kDefaultRunCalls; ++call) {
            solver.UpdateDatas();
        }
        benchmark::DoNotOptimize(solver.GetDeltaT());
    }
}
BENCHMARK(DefaultRun)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

// The same run stepped straightforwardly: the library's initialising call lays the field, the
// plain evaluation takes every step after it.
void StraightforwardDefaultRun(benchmark::State& state) {
    for (auto _ : state) {
        NavierStokesEquations2D solver;
        solver.UpdateDatas();
        reference::ReferenceMesh mesh = Nembra::Snapshot(solver);
        const reference::FlowConstants constants = reference::ConstantsOf(solver);
        double dt = 0;
        for (int call = 1; call < kDefaultRunCalls; ++call) {
            dt = reference::Step(mesh, constants);
        }
        benchmark::DoNotOptimize(dt);
    }
}
BENCHMARK(StraightforwardDefaultRun)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

}  // namespace
