// Long runs of the flow solver and its cases, and a copy/move/assignment-heavy sequence, for
// memory checkers and soak tests:
//   nembra_long_run [calls]     (default 100000 calls of each case)
// For each case it prints the calls made, the resident size after the first tenth of the calls
// and at the end, and the nodes holding unusable values. It fails when the resident size grows
// by more than 1 MiB or a case that should stay usable does not.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Nembra/BlastWave.h"
#include "Nembra/DiffusionEquation.h"
#include "Nembra/MessageHandler.h"
#include "Nembra/NavierStokesEquations2D.h"
#include "Nembra/ShockTube.h"
#include "Nembra/SupersonicFlatPlate.h"

#if defined(__linux__)
#include <unistd.h>
#endif

namespace {

using Nembra::NavierStokesEquations2D;
using Nembra::SupersonicFlatPlate;
using Node = NavierStokesEquations2D::_MeshNode;

constexpr long kAllowedGrowthKiB = 1024;

// Resident size in KiB, or -1 where it cannot be read.
long ResidentKiB() {
#if defined(__linux__)
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        long size = 0;
        long resident = -1;
        const int read = std::fscanf(statm, "%ld %ld", &size, &resident);
        std::fclose(statm);
        if (read == 2) {
            return resident * (sysconf(_SC_PAGESIZE) / 1024);
        }
    }
#endif
    return -1;
}

// Nodes whose current state holds an infinite or NaN value: those the solver reports.
int UnusableNodes(NavierStokesEquations2D& solver) {
    int imax = 0;
    int jmax = 0;
    Node** rows = solver.GetMeshNodes(imax, jmax);
    int unusable = 0;
    for (int i = 0; i < imax; ++i) {
        for (int j = 0; j < jmax; ++j) {
            const Node& n = rows[i][j];
            const bool usable = std::isfinite(n.Rho) && std::isfinite(n.U) && std::isfinite(n.V) &&
                                std::isfinite(n.Et) && std::isfinite(n.Eint) &&
                                std::isfinite(n.K) && std::isfinite(n.Mu) && std::isfinite(n.P);
            unusable += usable ? 0 : 1;
        }
    }
    return unusable;
}

struct Case {
    std::string name;
    std::function<std::unique_ptr<NavierStokesEquations2D>(int calls)> make;
};

std::vector<Case> Cases() {
    using Wall = SupersonicFlatPlate::WallCondition;
    return {
        {"closed box (default field), 70 x 70",
         [](int calls) { return std::make_unique<NavierStokesEquations2D>(70, 70, 1e-5, calls); }},
        {"flat plate, isothermal wall, 70 x 70",
         [](int calls) {
             return std::make_unique<SupersonicFlatPlate>(70, 70, 1e-5, calls, Wall::Isothermal);
         }},
        {"flat plate, adiabatic wall, 70 x 70",
         [](int calls) {
             return std::make_unique<SupersonicFlatPlate>(70, 70, 1e-5, calls, Wall::Adiabatic);
         }},
        {"shock tube, 140 x 11",
         [](int calls) { return std::make_unique<Nembra::ShockTube>(140, 11, 1.4e-5, calls); }},
        {"blast wave, 70 x 70",
         [](int calls) { return std::make_unique<Nembra::BlastWave>(70, 70, 1e-5, calls); }},
    };
}

bool RunCase(const Case& c, int calls) {
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<NavierStokesEquations2D> solver = c.make(calls);
    long settledKiB = -1;
    int firstUnusableCall = 0;
    for (int call = 1; call <= calls; ++call) {
        solver->UpdateDatas();
        if (call == std::max(1, calls / 10)) {
            settledKiB = ResidentKiB();
        }
        if (firstUnusableCall == 0 && call % 1000 == 0 && UnusableNodes(*solver) > 0) {
            firstUnusableCall = call;
        }
    }
    const long endKiB = ResidentKiB();
    const int unusable = UnusableNodes(*solver);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr,
                 "%-40s %d calls in %.1f s; resident %ld KiB after %d calls, %ld KiB at the end; "
                 "%d unusable nodes at the end\n",
                 c.name.c_str(), solver->GetStepCount(), seconds, settledKiB,
                 std::max(1, calls / 10), endKiB, unusable);
    bool ok = true;
    if (solver->GetStepCount() != calls) {
        std::fprintf(stderr, "  FAILED: the solver stopped after %d calls\n",
                     solver->GetStepCount());
        ok = false;
    }
    if (settledKiB >= 0 && endKiB - settledKiB > kAllowedGrowthKiB) {
        std::fprintf(stderr, "  FAILED: resident size grew by %ld KiB\n", endKiB - settledKiB);
        ok = false;
    }
    if (unusable > 0 || firstUnusableCall > 0) {
        std::fprintf(stderr, "  FAILED: unusable values (first seen by call %d)\n",
                     firstUnusableCall);
        ok = false;
    }
    return ok;
}

// Copies, moves, self-assignment and assignment across sizes and kinds, with steps in between:
// under a memory checker, every byte must be initialised, owned once and released once.
void Lifetimes() {
    // The refused solver below announces itself; nothing to show here.
    Nembra::SetMessageHandler([](const char*, const char*) {});
    std::vector<std::unique_ptr<NavierStokesEquations2D>> pool;
    pool.push_back(std::make_unique<NavierStokesEquations2D>());
    pool.push_back(std::make_unique<NavierStokesEquations2D>(12, 31, 2e-5, 100));
    pool.push_back(std::make_unique<SupersonicFlatPlate>(20, 20, 1e-5, 100));
    pool.push_back(std::make_unique<NavierStokesEquations2D>(0, 0, 1e-5, 100));
    pool.push_back(std::make_unique<NavierStokesEquations2D>(-3, 12, 1e-5, 100));
    pool.push_back(std::make_unique<Nembra::ShockTube>(40, 11, 4e-6, 100));
    pool.push_back(std::make_unique<Nembra::BlastWave>(17, 21, 2e-6, 100));
    for (int round = 0; round < 12; ++round) {
        for (auto& solver : pool) {
            solver->UpdateDatas();
        }
        NavierStokesEquations2D& a = *pool[round % pool.size()];
        NavierStokesEquations2D& b = *pool[(round * 3 + 1) % pool.size()];
        a = b;
        NavierStokesEquations2D& self = a;
        a = self;
        NavierStokesEquations2D moved(std::move(b));
        b = moved;
        NavierStokesEquations2D taken(3, 3, 1e-5, 10);
        taken = std::move(moved);
        b = std::move(taken);
    }
    SupersonicFlatPlate plate(15, 15, 1e-5, 100, SupersonicFlatPlate::WallCondition::Adiabatic);
    SupersonicFlatPlate other(25, 12, 1e-5, 100);
    for (int round = 0; round < 6; ++round) {
        plate.UpdateDatas();
        other.UpdateDatas();
        SupersonicFlatPlate copy(plate);
        plate = other;
        other = std::move(copy);
        NavierStokesEquations2D& base = copy;  // NOLINT(bugprone-use-after-move)
        base = *pool[1];
        copy.UpdateDatas();
    }
    Nembra::DiffusionEquation rod;
    Nembra::DiffusionEquation small(0.1, 1.0, 7, 1.0);
    for (int round = 0; round < 6; ++round) {
        rod.UpdateDatas();
        Nembra::DiffusionEquation copy(rod);
        rod = small;
        small = std::move(copy);
        small.UpdateDatas();
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::atoi(argv[1]) : 100000;
    if (calls < 1) {
        std::fprintf(stderr, "usage: nembra_long_run [calls >= 1]\n");
        return 2;
    }
    bool ok = true;
    for (const Case& c : Cases()) {
        ok = RunCase(c, calls) && ok;
    }
    Lifetimes();
    std::fprintf(stderr, "%s\n", ok ? "long run: passed" : "long run: FAILED");
    return ok ? 0 : 1;
}
