// The step's parts alone, on the running field of the flow-step benchmark: the time-step scan
// with the value check, the predictor sweep (phases 1 and 2) and the corrector sweep (phases 4
// and 5), each called directly through the step's kernels. Beside FlowStep they show where the
// time of a step goes. Items per second are node updates per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <new>

#include "Nembra/NavierStokesEquations2D.h"
#include "Nembra/step/Sweeps.h"
#include "Nembra/step/TimeStepScan.h"
#include "Nembra/step/WorkingRows.h"

namespace {

using Nembra::NavierStokesEquations2D;
using Nembra::step::Node;

// A solver a few calls into its run, with its live mesh and working rows of its own.
struct RunningField {
    std::unique_ptr<NavierStokesEquations2D> solver;
    Node** mesh = nullptr;
    int rows = 0;
    int nodesPerRow = 0;
    std::unique_ptr<double[]> scratch;

    RunningField(int imax, int jmax) {
        solver = imax == 70 && jmax == 70
                     ? std::make_unique<NavierStokesEquations2D>()
                     : std::make_unique<NavierStokesEquations2D>(imax, jmax, 1e-5, 10000);
        for (int call = 0; call < 4; ++call) {
            solver->UpdateDatas();
        }
        mesh = solver->GetMeshNodes(rows, nodesPerRow);
        double* rowsScratch = nullptr;
        if (!Nembra::step::AllocateWorkingRows(rowsScratch, nodesPerRow)) {
            throw std::bad_alloc();
        }
        scratch.reset(rowsScratch);
    }

    // The solver's own constants; Sutherland's reference state is the one every solver is
    // constructed with (288.16 K, 1.789e-5 Pa s).
    Nembra::step::StepConstants Constants() const {
        const NavierStokesEquations2D& s = *solver;
        return {s.GetDeltaX(), s.GetDeltaY(), s.GetDeltaT(), s.GetCv(),     s.GetGasConstant(),
                288.16,        1.789e-5,      s.GetCp(),     s.GetPrandtl()};
    }
};

using Sweep = void (*)(Node**, int, int, double*, const Nembra::step::StepConstants&,
                       Nembra::step::RecordStores);

void RunSweep(benchmark::State& state, Sweep sweep) {
    RunningField field(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const Nembra::step::StepConstants c = field.Constants();
    // The stores the solver would choose for this mesh.
    const Nembra::step::RecordStores stores =
        Nembra::step::RecordStoresFor(field.rows, field.nodesPerRow);
    for (auto _ : state) {
        sweep(field.mesh, field.rows, field.nodesPerRow, field.scratch.get(), c, stores);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * field.rows * field.nodesPerRow);
}

// The predictor reads only the current state, so every call repeats the same work.
void PredictorSweep(benchmark::State& state) {
    RunSweep(state, Nembra::step::PredictorSweep);
}

// Each corrector call averages the new state with the same predicted state: the field settles
// towards a fixed point and stays finite.
void CorrectorSweep(benchmark::State& state) {
    RunSweep(state, Nembra::step::CorrectorSweep);
}

// The scan that UpdateDatas makes before each step: the time step's two largest terms and the
// value check of every node but the last row and column.
void TimeStepScan(benchmark::State& state) {
    RunningField field(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const NavierStokesEquations2D& s = *field.solver;
    const double spacing =
        1 / (s.GetDeltaX() * s.GetDeltaX()) + 1 / (s.GetDeltaY() * s.GetDeltaY());
    const Nembra::step::TimeStepTerms terms{
        std::fabs((s.GetGamma() * 4) / (s.GetPrandtl() * 3)), s.GetGamma() * s.GetGasConstant(),
        std::sqrt(std::fabs(spacing)), s.GetDeltaX(), s.GetDeltaY()};
    for (auto _ : state) {
        Nembra::step::TimeStepScan scan;
        int unusable = 0;
        for (int i = 0; i < field.rows; ++i) {
            const int checked = i < field.rows - 1 ? field.nodesPerRow - 1 : 0;
            Nembra::step::ScanTimeStepRow(field.mesh[i], field.nodesPerRow, checked, terms, scan,
                                          unusable);
        }
        benchmark::DoNotOptimize(scan);
        benchmark::DoNotOptimize(unusable);
    }
    state.SetItemsProcessed(state.iterations() * field.rows * field.nodesPerRow);
}

}  // namespace

BENCHMARK(PredictorSweep)
    ->Args({70, 70})
    ->Args({140, 140})
    ->Args({280, 280})
    ->Args({560, 560})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(CorrectorSweep)
    ->Args({70, 70})
    ->Args({140, 140})
    ->Args({280, 280})
    ->Args({560, 560})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(TimeStepScan)
    ->Args({70, 70})
    ->Args({140, 140})
    ->Args({280, 280})
    ->Args({560, 560})
    ->Unit(benchmark::kMicrosecond);
