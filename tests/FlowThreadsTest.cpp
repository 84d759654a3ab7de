// Solvers driven on several threads at once, each solver on its own thread: the library keeps no
// state shared between objects (the message handler aside, which may be replaced and called from
// any thread). Run under ThreadSanitizer by scripts/test; here it also checks that every result
// is bit for bit the one the same solver gives when it runs alone.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "Nembra/BlastWave.h"
#include "Nembra/DiffusionEquation.h"
#include "Nembra/MessageHandler.h"
#include "Nembra/ShockTube.h"
#include "Nembra/SupersonicFlatPlate.h"
#include "support/FlowHelpers.h"

namespace Nembra {
namespace {

using Wall = SupersonicFlatPlate::WallCondition;

// Each run builds its own solver, steps it and returns every density and the time steps taken.
using SolverRun = std::function<std::vector<double>()>;

std::vector<double> Densities(Solver& solver, std::vector<double> into) {
    const MeshView mesh = ViewOf(solver);
    for (int i = 0; i < mesh.imax; ++i) {
        for (int j = 0; j < mesh.jmax; ++j) {
            into.push_back(mesh.rows[i][j].Rho);
        }
    }
    return into;
}

template <class Make>
SolverRun FlowRun(Make make, int calls) {
    return [make, calls] {
        auto solver = make();
        std::vector<double> steps;
        for (int call = 0; call < calls; ++call) {
            solver->UpdateDatas();
            steps.push_back(solver->GetDeltaT());
        }
        // Copies and moves on the same thread, between steps.
        auto copy = make();
        *copy = *solver;
        copy->UpdateDatas();
        return Densities(*copy, steps);
    };
}

SolverRun DiffusionRun(int segments) {
    return [segments] {
        DiffusionEquation rod(0.1, 1.0, segments, 1.0);
        rod.SetSamplingPointsValue(segments / 2, 1.0);
        for (int step = 0; step < 200; ++step) {
            rod.UpdateDatas();
        }
        std::vector<double> profile;
        for (int i = 0; i < rod.GetSamplingPoints(); ++i) {
            profile.push_back(rod.GetSamplingPointsValue(i));
        }
        return profile;
    };
}

std::atomic<int> messagesSeen{0};

void CountMessage(const char*, const char*) {
    messagesSeen.fetch_add(1, std::memory_order_relaxed);
}

// Solvers whose construction fails announce it from whatever thread they are built on.
SolverRun FailingRun() {
    return [] {
        for (int attempt = 0; attempt < 20; ++attempt) {
            Solver refused(-attempt - 1, 12, 1e-5, 10);
            refused.UpdateDatas();
        }
        return std::vector<double>{};
    };
}

std::vector<SolverRun> Runs() {
    // Fresh solvers of different sizes and cases, each taking its first time step on its own
    // thread: the coefficients of the time-step limit belong to each solver.
    return {
        FlowRun([] { return std::make_unique<Solver>(12, 12, 1e-5, 1000); }, 30),
        FlowRun([] { return std::make_unique<Solver>(31, 17, 3e-5, 1000); }, 30),
        FlowRun([] { return std::make_unique<Solver>(); }, 4),
        FlowRun([] { return std::make_unique<SupersonicFlatPlate>(20, 20, 1e-5, 1000); }, 30),
        FlowRun(
            [] {
                return std::make_unique<SupersonicFlatPlate>(16, 24, 2e-5, 1000, Wall::Adiabatic);
            },
            30),
        FlowRun([] { return std::make_unique<ShockTube>(60, 11, 6e-6, 1000); }, 30),
        FlowRun([] { return std::make_unique<BlastWave>(29, 23, 2e-6, 1000); }, 30),
        DiffusionRun(300),
        DiffusionRun(57),
        FailingRun(),
    };
}

TEST(FlowThreads, SolversOnSeveralThreadsGiveTheirSingleThreadedResults) {
    const MessageHandler previous = SetMessageHandler(&CountMessage);
    const std::vector<SolverRun> runs = Runs();
    std::vector<std::vector<double>> alone;
    for (const SolverRun& run : runs) {
        alone.push_back(run());
    }
    const int messagesAlone = messagesSeen.exchange(0);
    EXPECT_EQ(messagesAlone, 20 * 2);

    std::vector<std::vector<double>> together(runs.size());
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < runs.size(); ++k) {
        threads.emplace_back([&, k] { together[k] = runs[k](); });
    }
    // The handler may be replaced while other threads announce failures.
    SetMessageHandler(&CountMessage);
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (std::size_t k = 0; k < runs.size(); ++k) {
        EXPECT_EQ(together[k], alone[k]) << "run " << k;
    }
    EXPECT_EQ(messagesSeen.load(), messagesAlone);
    SetMessageHandler(previous);
}

}  // namespace
}  // namespace Nembra
