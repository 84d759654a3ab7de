// The diffusion solver's step; items per second are sampling-point updates per second.
#include <benchmark/benchmark.h>

#include "Nembra/DiffusionEquation.h"

namespace {

// dt = 0.1, dx = 1 and Beta = 1 as the default solver: diffusion number 0.1, a stable step.
void DiffusionStep(benchmark::State& state) {
    const int segments = static_cast<int>(state.range(0)) - 1;
    Nembra::DiffusionEquation solver(0.1, 1.0, segments, 1.0);
    // A hot left half: the profile keeps changing for the whole run.
    for (int point = 0; point <= segments / 2; ++point) {
        solver.SetSamplingPointsValue(point, 100.0);
    }
    for (auto _ : state) {
        solver.UpdateDatas();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(DiffusionStep)->Arg(301)->Arg(1000001)->Unit(benchmark::kMicrosecond);

}  // namespace
