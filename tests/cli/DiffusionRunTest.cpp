#include <cairo.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>

#include "CliTestSupport.h"
#include "DiffusionCommand.h"
#include "Nembra/DiffusionEquation.h"

namespace nembra_cli_test {
namespace {

struct CsvProfile {
    std::string header;
    std::vector<double> x;
    std::vector<double> f;
};

CsvProfile ReadCsv(const fs::path& path) {
    std::istringstream in(ReadText(path));
    CsvProfile profile;
    std::getline(in, profile.header);
    std::string line;
    while (std::getline(in, line)) {
        const auto comma = line.find(',');
        profile.x.push_back(std::strtod(line.substr(0, comma).c_str(), nullptr));
        profile.f.push_back(std::strtod(line.substr(comma + 1).c_str(), nullptr));
    }
    return profile;
}

std::string ProfileName(int step) {
    char name[32];
    std::snprintf(name, sizeof name, "profile_%06d.csv", step);
    return name;
}

void ExpectProfileOf(const Nembra::DiffusionEquation& solver, const fs::path& path) {
    const CsvProfile csv = ReadCsv(path);
    EXPECT_EQ(csv.header, "x,f");
    ASSERT_EQ(csv.f.size(), static_cast<std::size_t>(solver.GetSamplingPoints())) << path;
    for (int i = 0; i < solver.GetSamplingPoints(); ++i) {
        EXPECT_EQ(csv.f[static_cast<std::size_t>(i)], solver.GetSamplingPointsValue(i))
            << path << " point " << i;
        EXPECT_EQ(csv.x[static_cast<std::size_t>(i)], i * solver.GetCoordinateStepSize());
    }
}

TEST(CliDiffusionRun, ProfilesMatchTheLibraryStepByStep) {
    ScratchFolder scratch("diffusion-step");
    const CliResult result = RunCli({"diffusion", "--segments", "40", "--dt", "0.2", "--dx", "0.9",
                                     "--beta", "1.5", "--initial", "step", "--steps", "30",
                                     "--snapshot-every", "10", "--output", scratch.Sub("out")});
    ASSERT_EQ(result.status, 0) << result.err;

    Nembra::DiffusionEquation solver(0.2, 0.9, 40, 1.5);
    const std::vector<double> initial = nembra_cli::InitialProfile("step", 41);
    for (int i = 0; i < 41; ++i) {
        solver.SetSamplingPointsValue(i, initial[static_cast<std::size_t>(i)]);
    }
    for (int step = 0; step <= 30; ++step) {
        if (step % 10 == 0) {
            ExpectProfileOf(solver, scratch.Path() / "out" / ProfileName(step));
        }
        solver.UpdateDatas();
    }
    EXPECT_EQ(FilesContaining(scratch.Path() / "out", ".csv").size(), 4u);

    cairo_surface_t* plot =
        cairo_image_surface_create_from_png((scratch.Path() / "out" / "profiles.png").c_str());
    EXPECT_EQ(cairo_surface_status(plot), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(plot);
    const nlohmann::json summary =
        nlohmann::json::parse(ReadText(scratch.Path() / "out" / "summary.json"));
    EXPECT_EQ(summary["steps"], 30);
    EXPECT_EQ(summary["parameters"]["sampling_points"], 41);
    EXPECT_DOUBLE_EQ(summary["parameters"]["diffusion_number"].get<double>(),
                     1.5 * 0.2 / (0.9 * 0.9));
}

TEST(CliDiffusionRun, StartsFromACsvProfile) {
    ScratchFolder scratch("diffusion-csv");
    fs::create_directories(scratch.Path());
    const std::vector<double> values = {0.0, 0.25, 1.5, -2.0, 0.125, 3.0, 0.0, 1e-3};
    {
        std::ofstream file(scratch.Path() / "initial.csv");
        file << "\n";
        for (double v : values)
            file << v << "\r\n";
    }
    const CliResult result =
        RunCli({"diffusion", "--initial-csv", scratch.Sub("initial.csv"), "--steps", "3",
                "--snapshot-every", "2", "--quiet", "--output", scratch.Sub("out")});
    ASSERT_EQ(result.status, 0) << result.err;

    Nembra::DiffusionEquation solver(0.1, 1.0, static_cast<int>(values.size()) - 1, 1.0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        solver.SetSamplingPointsValue(static_cast<int>(i), values[i]);
    }
    ExpectProfileOf(solver, scratch.Path() / "out" / ProfileName(0));
    for (int step = 1; step <= 3; ++step) {
        solver.UpdateDatas();
        if (step == 2 || step == 3) {
            ExpectProfileOf(solver, scratch.Path() / "out" / ProfileName(step));
        }
    }
}

struct BadCsv {
    std::string content;
    std::string expected;
};

class RejectsBadCsv : public ::testing::TestWithParam<BadCsv> {};

TEST_P(RejectsBadCsv, WithStatusTwoNamingTheLine) {
    ScratchFolder scratch("bad-csv");
    fs::create_directories(scratch.Path());
    std::ofstream(scratch.Path() / "profile.csv") << GetParam().content;
    const CliResult result = RunCli(
        {"diffusion", "--initial-csv", scratch.Sub("profile.csv"), "--output", scratch.Sub("out")});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("--initial-csv"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(GetParam().expected), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(scratch.Path() / "out"));
}

INSTANTIATE_TEST_SUITE_P(CliFiles, RejectsBadCsv,
                         ::testing::Values(BadCsv{"1\n2\nthree\n", "profile.csv:3"},
                                           BadCsv{"1\n2,5\n", "profile.csv:2"},
                                           BadCsv{"1\ninf\n", "not a finite number"},
                                           BadCsv{"1e999\n2\n", "out of range"},
                                           BadCsv{"4\n", "at least two values"},
                                           BadCsv{"", "at least two values"}));

TEST(CliDiffusionRun, RefusesASegmentCountThatDisagreesWithTheCsv) {
    ScratchFolder scratch("csv-segments");
    fs::create_directories(scratch.Path());
    std::ofstream(scratch.Path() / "profile.csv") << "1\n2\n3\n";
    const CliResult result = RunCli({"diffusion", "--initial-csv", scratch.Sub("profile.csv"),
                                     "--segments", "5", "--output", scratch.Sub("out")});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("--segments: must match the 3 values"), std::string::npos)
        << result.err;
}

TEST(CliInitialProfile, ShapesSitAtTheMiddlePoint) {
    const std::vector<double> spike = nembra_cli::InitialProfile("spike", 11);
    EXPECT_EQ(spike[5], 1.0);
    EXPECT_EQ(std::count(spike.begin(), spike.end(), 0.0), 10);
    const std::vector<double> gaussian = nembra_cli::InitialProfile("gaussian", 61);
    EXPECT_EQ(gaussian[30], 1.0);
    EXPECT_EQ(gaussian[20], gaussian[40]);
    EXPECT_LT(gaussian[0], 1e-6);
    const std::vector<double> step = nembra_cli::InitialProfile("step", 10);
    EXPECT_EQ(step[4], 1.0);
    EXPECT_EQ(step[5], 0.0);
}

}  // namespace
}  // namespace nembra_cli_test
