#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "Nembra/ExactRiemannSolution.h"

namespace nembra_cli_test {
namespace {

using Nembra::ExactRiemannSolution;

// The problem as it is posed, not as the classes hold it: air (R = 287, gamma = 1.4) at rest,
// 1013250 Pa and 360.2 K left of the middle of a 1e-4 m tube, 101325 Pa and 288.16 K right.
constexpr double kLength = 1e-4;
ExactRiemannSolution PosedProblem() {
    const double r = 287;
    return ExactRiemannSolution({1013250 / (r * 360.2), 0, 1013250},
                                {101325 / (r * 288.16), 0, 101325}, 1.4, kLength / 2);
}

struct Row {
    double x, density, u, pressure, temperature;
};

std::vector<Row> ReadCentreline(const fs::path& path, std::string& header) {
    std::ifstream in(path);
    std::getline(in, header);
    std::vector<Row> rows;
    std::string line;
    while (std::getline(in, line)) {
        Row r{};
        char comma = 0;
        std::istringstream fields(line);
        fields >> r.x >> comma >> r.density >> comma >> r.u >> comma >> r.pressure >> comma >>
            r.temperature;
        rows.push_back(r);
    }
    return rows;
}

// The shock tube at its default settings, run once: CTest runs each test in a process of its
// own, so the checks of this one run are parts of one test.
struct DefaultRun {
    ScratchFolder scratch{"shock-tube-validation"};
    CliResult result =
        RunCli({"flow", "--case", "shock-tube", "--formats", "png,json", "--snapshot-every",
                "100000", "--quiet", "--output", scratch.Sub("out")});
    fs::path Out() const { return scratch.Path() / "out"; }
    nlohmann::json Summary() const {
        return nlohmann::json::parse(ReadText(Out() / "summary.json"));
    }
};

void ExpectRunsUntilTheShockHasCrossedAThirdOfTheTube(const DefaultRun& run) {
    const nlohmann::json summary = run.Summary();
    const ExactRiemannSolution exact = PosedProblem();
    const double end = (kLength / 3) / exact.GetRightHeadSpeed();
    EXPECT_NEAR(summary["until_time"].get<double>(), end, 1e-9 * end);
    EXPECT_EQ(summary["reached_until_time"], true);
    // It stops at the step that reaches the end time, not one step on.
    const double t = summary["model_time"];
    EXPECT_GE(t, end);
    EXPECT_LT(t, end * 1.01);
    EXPECT_EQ(summary["non_finite_reports"], 0);
}

void ExpectPlateausAreWithinOnePercentOfTheExactSolution(const DefaultRun& run) {
    const nlohmann::json figures = run.Summary()["shock_tube"]["figures"];
    const ExactRiemannSolution exact = PosedProblem();
    const struct {
        const char* key;
        double wanted;
    } plateaus[] = {
        {"star_pressure", exact.GetStarPressure()},
        {"star_velocity", exact.GetStarVelocity()},
        {"star_density_left", exact.GetStarDensityLeft()},
        {"star_density_right", exact.GetStarDensityRight()},
    };
    for (const auto& p : plateaus) {
        const double computed = figures[p.key]["computed"];
        EXPECT_NEAR(computed, p.wanted, 0.01 * p.wanted) << p.key;
        EXPECT_NEAR(figures[p.key]["exact"].get<double>(), p.wanted, 1e-9 * p.wanted) << p.key;
    }
}

void ExpectShockIsWithinOnePercentOfTheTubeFromItsExactPosition(const DefaultRun& run) {
    const nlohmann::json summary = run.Summary();
    const double t = summary["model_time"];
    const double exactShock = kLength / 2 + PosedProblem().GetRightHeadSpeed() * t;
    const double computed = summary["shock_tube"]["figures"]["shock_position"]["computed"];
    EXPECT_NEAR(computed, exactShock, 0.01 * kLength);
}

// The profile file itself, read back: every node, the exact states in the middle of each
// plateau and ahead of every wave, and the same profile on every row.
void ExpectCentrelineFileHoldsTheProfileNodeByNode(const DefaultRun& run) {
    std::string header;
    const std::vector<Row> rows = ReadCentreline(run.Out() / "centreline.csv", header);
    EXPECT_EQ(header, "x,density,u,pressure,temperature");
    ASSERT_EQ(rows.size(), 1000u);
    EXPECT_EQ(rows.front().x, 0.0);
    EXPECT_NEAR(rows.back().x, kLength, 1e-15);
    const nlohmann::json summary = run.Summary();
    const double t = summary["model_time"];
    const ExactRiemannSolution exact = PosedProblem();
    const double x0 = kLength / 2;
    const double samples[] = {
        0.05 * kLength,                                                        // left state
        x0 + 0.5 * (exact.GetLeftTailSpeed() + exact.GetContactSpeed()) * t,   // left star
        x0 + 0.5 * (exact.GetContactSpeed() + exact.GetRightHeadSpeed()) * t,  // right star
        0.95 * kLength,                                                        // right state
    };
    for (double x : samples) {
        const Row& r = rows[static_cast<std::size_t>(std::lround(x / (kLength / 999)))];
        const ExactRiemannSolution::State s = exact.Sample(r.x, t);
        EXPECT_NEAR(r.density, s.Density, 0.01 * s.Density) << x;
        EXPECT_NEAR(r.pressure, s.Pressure, 0.01 * s.Pressure) << x;
        EXPECT_NEAR(r.u, s.Velocity, 0.01 * exact.GetStarVelocity()) << x;
        EXPECT_NEAR(r.temperature, s.Pressure / (287 * s.Density), 0.01 * r.temperature) << x;
    }
    EXPECT_LT(summary["shock_tube"]["largest_row_difference"].get<double>(), 1e-12);
    EXPECT_TRUE(fs::exists(run.Out() / "shock-tube.png"));
}

TEST(ShockTubeValidation, DefaultRunMatchesTheExactSolutionWithinOnePercent) {
    const DefaultRun run;
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    ExpectRunsUntilTheShockHasCrossedAThirdOfTheTube(run);
    ExpectPlateausAreWithinOnePercentOfTheExactSolution(run);
    ExpectShockIsWithinOnePercentOfTheTubeFromItsExactPosition(run);
    ExpectCentrelineFileHoldsTheProfileNodeByNode(run);
}

}  // namespace
}  // namespace nembra_cli_test
