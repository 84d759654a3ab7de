#include <cairo.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

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
        for (double v : values)
            file << v << "\r\n";
        file << "\n\n";  // blank lines at the end shift nothing
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
                                           BadCsv{"", "at least two values"},
                                           // Skipping it would shift every later value.
                                           BadCsv{"1\n\n2\n", "profile.csv:2: blank line"},
                                           BadCsv{"\n1\n2\n", "profile.csv:1: blank line"},
                                           // Found by fuzzing: read as its prefix "2".
                                           BadCsv{std::string("1\n2\0x\n3\n", 9),
                                                  "profile.csv:2: '2\\x00x' is not a number"}));

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

// Profiles found by fuzzing to send the plot's axis into an endless allocation: values near the
// largest double, a range a few ulps wide, positions beyond the largest double.
TEST(CliDiffusionRun, PlotsProfilesOfAnyFiniteValues) {
    ScratchFolder scratch("extreme-profiles");
    fs::create_directories(scratch.Path());
    std::ofstream(scratch.Path() / "huge.csv") << "-1.6e308\n1e307\n0\n";
    std::ofstream(scratch.Path() / "ulps.csv") << "1\n1.0000000000000002\n";
    const std::vector<std::vector<std::string>> runs = {
        {"--initial-csv", scratch.Sub("huge.csv")},
        {"--initial-csv", scratch.Sub("ulps.csv")},
        {"--dx", "1.7976931348623157e308"},
        {"--dt", "1e300"},  // unstable: the profile overflows to infinity
    };
    for (std::size_t k = 0; k < runs.size(); ++k) {
        std::vector<std::string> arguments = {"diffusion", "--steps",
                                              "20",        "--quiet",
                                              "--output",  scratch.Sub("out" + std::to_string(k))};
        arguments.insert(arguments.end(), runs[k].begin(), runs[k].end());
        const CliResult result = RunCli(arguments);
        EXPECT_EQ(result.status, 0) << runs[k][1] << ": " << result.err;
        cairo_surface_t* plot = cairo_image_surface_create_from_png(
            (scratch.Path() / ("out" + std::to_string(k)) / "profiles.png").c_str());
        EXPECT_EQ(cairo_surface_status(plot), CAIRO_STATUS_SUCCESS) << runs[k][1];
        cairo_surface_destroy(plot);
    }
}

// A file name that is not UTF-8 once made the JSON writer throw at the very end of the run.
TEST(CliDiffusionRun, SummarisesAFileNameThatIsNotUtf8) {
    ScratchFolder scratch("not-utf8");
    fs::create_directories(scratch.Path());
    const std::string name = scratch.Sub("\xff\xfe profile.csv");
    std::ofstream(name) << "0\n1\n0\n";
    const CliResult result = RunCli({"diffusion", "--initial-csv", name, "--steps", "2", "--quiet",
                                     "--output", scratch.Sub("out")});
    ASSERT_EQ(result.status, 0) << result.err;
    const nlohmann::json summary =
        nlohmann::json::parse(ReadText(scratch.Path() / "out" / "summary.json"));
    const std::string initial = summary["parameters"]["initial"];
    EXPECT_NE(initial.find("\xEF\xBF\xBD profile.csv"), std::string::npos) << initial;
}

// Distinct legend entries of a line plot: runs of coloured rows in the legend's line samples.
int LegendEntries(const fs::path& path) {
    cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
    const int x = cairo_image_surface_get_width(image) - 170 + 16 + 10;
    int entries = 0;
    bool inEntry = false;
    for (int y = 0; y < cairo_image_surface_get_height(image); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(
            cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image));
        const bool coloured = (row[x] & 0xFFFFFFu) != 0xFFFFFFu;
        entries += coloured && !inEntry ? 1 : 0;
        inEntry = coloured;
    }
    cairo_surface_destroy(image);
    return entries;
}

// Stopped by a signal part way: the summary counts the profiles written, and the plot draws
// them (up to its twelve curves), not the ones a full run would have drawn. The largest step
// count once overflowed the snapshot schedule.
TEST(CliDiffusionRun, InterruptedRunCountsAndDrawsWhatItWrote) {
    ScratchFolder scratch("interrupted");
    const fs::path out = scratch.Path() / "out";
    CliResult result;
    std::thread run([&] {
        result = RunCli({"diffusion", "--steps", "2147483647", "--snapshot-every", "500", "--quiet",
                         "--output", out.string()});
    });
    while (!fs::exists(out) || FilesContaining(out, "profile_").size() < 5) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::raise(SIGINT);
    run.join();
    EXPECT_EQ(result.status, 130) << result.err;
    const nlohmann::json summary = nlohmann::json::parse(ReadText(out / "summary.json"));
    const std::size_t written = FilesContaining(out, "profile_").size();
    EXPECT_EQ(summary["interrupted"], true);
    EXPECT_EQ(summary["snapshots"].get<std::size_t>(), written);
    EXPECT_EQ(summary["snapshots_planned"].get<long long>(), 2147483646LL / 500 + 2);
    EXPECT_EQ(LegendEntries(out / "profiles.png"),
              static_cast<int>(std::min<std::size_t>(written, 12)));
}

TEST(CliDiffusionRun, SchedulesSnapshotsBeyondTheLargestInt) {
    // 0 and 1.5e9 are planned, 3e9 is not a step: the next multiple overflowed int.
    ScratchFolder scratch("large-schedule");
    const fs::path out = scratch.Path() / "out";
    CliResult result;
    std::thread run([&] {
        result = RunCli({"diffusion", "--steps", "2000000000", "--snapshot-every", "1500000000",
                         "--quiet", "--output", out.string()});
    });
    while (!fs::exists(out / "profile_000000.csv")) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::raise(SIGINT);
    run.join();
    EXPECT_EQ(result.status, 130) << result.err;
    const nlohmann::json summary = nlohmann::json::parse(ReadText(out / "summary.json"));
    EXPECT_EQ(summary["snapshots_planned"], 3);
    EXPECT_EQ(summary["snapshots"], 2);  // the start and where it stopped
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
