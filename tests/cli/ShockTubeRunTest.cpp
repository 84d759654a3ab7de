#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "FlowCases.h"
#include "Nembra/ShockTube.h"
#include "ShockTubeProfile.h"

namespace nembra_cli_test {
namespace {

nlohmann::json Summary(const fs::path& folder) {
    return nlohmann::json::parse(ReadText(folder / "summary.json"));
}

TEST(ShockTubeProfile, PlateauMeanTakesTheMiddleHalfOnly) {
    // A plateau of 2 between x = 4 and x = 8, spoilt near its ends.
    const std::vector<double> x = {3, 4, 4.5, 5, 6, 7, 7.5, 8, 9};
    const std::vector<double> f = {9, 9, 9, 2, 2, 2, 9, 9, 9};
    EXPECT_EQ(nembra_cli::PlateauMean(x, f, 4, 8), 2.0);
    EXPECT_TRUE(std::isnan(nembra_cli::PlateauMean(x, f, 4.1, 4.2)));
}

TEST(ShockTubeProfile, ShockPositionIsTheCrossingNearestTheRightEnd) {
    const std::vector<double> x = {0, 1, 2, 3, 4, 5};
    // A dip at x = 1 crosses the level too; the shock is the crossing seen from the right.
    const std::vector<double> rho = {4, 1, 4, 3, 1, 1};
    const std::optional<double> shock = nembra_cli::ShockPosition(x, rho, 2.0);
    ASSERT_TRUE(shock.has_value());
    EXPECT_DOUBLE_EQ(*shock, 3.5);
    EXPECT_FALSE(nembra_cli::ShockPosition(x, {1, 1, 1, 1, 1, 1}, 2.0).has_value());
}

TEST(ShockTubeProfile, CentrelineCsvKeepsEveryDigit) {
    nembra_cli::Centreline line;
    line.x = {0, 0.1};
    line.density = {1.0 / 3.0, 2};
    line.u = {0, 0.1 + 0.2};
    line.pressure = {101325, 1013250};
    line.temperature = {288.16, 360.2};
    const std::string csv = nembra_cli::CentrelineCsv(line);
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "x,density,u,pressure,temperature");
    EXPECT_NE(csv.find("0,0.33333333333333331,0,101325,288.16000000000003\n"), std::string::npos)
        << csv;
    EXPECT_NE(csv.find("0.10000000000000001,2,0.30000000000000004,1013250,360.19999999999999\n"),
              std::string::npos)
        << csv;
}

// --until-time holds for every case: the run ends after the step at which the model time
// first reaches it, which an in-process run of the same solver finds independently.
TEST(CliUntilTime, StopsEveryCaseAfterTheStepThatReachesIt) {
    ScratchFolder scratch("until-time");
    const nembra_cli::FlowGeometry geometry{40, 30, 4e-6, 500};
    for (const auto& flowCase : nembra_cli::MakeFlowCases()) {
        const std::string& name = flowCase->Name();
        // The closed box's time step shrinks fast: its end comes early.
        const double until = name == "closed-box" ? 1e-11 : 1e-10;
        const auto solver = flowCase->Create(geometry);
        solver->UpdateDatas();
        int steps = 0;
        double t = 0;
        while (t < until && solver->GetStepCount() < geometry.maxStepCount) {
            solver->UpdateDatas();
            t += solver->GetDeltaT();
            ++steps;
        }
        ASSERT_GE(t, until) << name << ": the reference run must get there";
        ASSERT_GT(steps, 1) << name << ": more than one step, for the test to mean anything";

        const std::string out = scratch.Sub(name);
        char untilText[32];
        std::snprintf(untilText, sizeof untilText, "%.17g", until);
        const CliResult result = RunCli({"flow", "--case", name, "--nx", "40", "--ny", "30",
                                         "--length", "4e-6", "--max-steps", "500", "--until-time",
                                         untilText, "--formats", "json", "--output", out});
        ASSERT_EQ(result.status, 0) << name << ": " << result.err;
        const nlohmann::json summary = Summary(out);
        EXPECT_EQ(summary["reached_until_time"], true) << name;
        EXPECT_EQ(summary["until_time"], until) << name;
        EXPECT_EQ(summary["steps"], steps) << name;
        EXPECT_EQ(summary["model_time"], t) << name;
        EXPECT_NE(result.out.find("until time"), std::string::npos) << result.out;
    }
}

TEST(CliUntilTime, SaysSoWhenTheStepLimitComesFirst) {
    ScratchFolder scratch("until-time-short");
    const CliResult result =
        RunCli({"flow", "--case", "shock-tube", "--nx", "40", "--ny", "11", "--max-steps", "5",
                "--until-time", "1", "--formats", "json", "--output", scratch.Sub("out")});
    ASSERT_EQ(result.status, 0) << result.err;
    const nlohmann::json summary = Summary(scratch.Path() / "out");
    EXPECT_EQ(summary["reached_until_time"], false);
    EXPECT_EQ(summary["steps"], 4);
    EXPECT_NE(result.out.find("not reached"), std::string::npos) << result.out;
    const CliResult refused = RunCli({"flow", "--until-time", "0", "--output", scratch.Sub("x")});
    EXPECT_EQ(refused.status, 2);
}

TEST(CliShockTube, WritesTheProfileAndComparesItWithTheExactSolution) {
    ScratchFolder scratch("shock-tube-small");
    const fs::path out = scratch.Path() / "out";
    const CliResult result =
        RunCli({"flow", "--case", "shock-tube", "--nx", "120", "--length", "1.2e-5", "--formats",
                "png,json", "--snapshot-every", "100000", "--output", out.string()});
    ASSERT_EQ(result.status, 0) << result.err;
    // Its own geometry with the shock tube's default step limit and end time.
    Nembra::ShockTube reference(120, 11, 1.2e-5, Nembra::ShockTube().GetMaxStepCount());
    const nlohmann::json summary = Summary(out);
    EXPECT_EQ(summary["until_time"].get<double>(), reference.GetDefaultEndTime());
    EXPECT_EQ(summary["reached_until_time"], true);
    EXPECT_EQ(summary["parameters"]["nodes_y"], 11);
    const nlohmann::json tube = summary["shock_tube"];
    EXPECT_EQ(tube["left"]["pressure"], 1013250.0);
    EXPECT_EQ(tube["right"]["temperature"], 288.16);
    for (const char* key :
         {"star_pressure", "star_velocity", "star_density_left", "star_density_right"}) {
        const nlohmann::json& f = tube["figures"][key];
        EXPECT_DOUBLE_EQ(
            f["relative_difference"].get<double>(),
            (f["computed"].get<double>() - f["exact"].get<double>()) / f["exact"].get<double>())
            << key;
    }
    EXPECT_TRUE(fs::exists(out / "centreline.csv"));
    EXPECT_TRUE(fs::exists(out / "shock-tube.png"));
    EXPECT_NE(result.out.find("star pressure"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("centre-line profile (CSV)"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace nembra_cli_test
