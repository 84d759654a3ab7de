#include <cairo.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

#include "CliTestSupport.h"
#include "Nembra/SupersonicFlatPlate.h"

namespace nembra_cli_test {
namespace {

using Nembra::SupersonicFlatPlate;
using Wall = SupersonicFlatPlate::WallCondition;

constexpr int kNodes = 12;
constexpr int kStepLimit = 3000;
constexpr double kTolerance = 1e-4;

nlohmann::json Summary(const fs::path& folder) {
    return nlohmann::json::parse(ReadText(folder / "summary.json"));
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int PngWidth(const fs::path& path) {
    cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
    const int width = cairo_surface_status(image) == CAIRO_STATUS_SUCCESS
                          ? cairo_image_surface_get_width(image)
                          : 0;
    cairo_surface_destroy(image);
    return width;
}

// The command's run, in process: calls until the density settles below kTolerance.
struct ReferencePlate {
    SupersonicFlatPlate plate{kNodes, kNodes, 1e-5, kStepLimit, Wall::Adiabatic};
    int timeSteps = 0;

    ReferencePlate() {
        plate.UpdateDatas();
        while (plate.GetStepCount() < kStepLimit &&
               !(plate.GetLargestDensityChange() < kTolerance)) {
            plate.UpdateDatas();
            ++timeSteps;
        }
    }
    const SupersonicFlatPlate::_MeshNode& Node(int i, int j) {
        int imax = 0;
        int jmax = 0;
        return plate.GetMeshNodes(imax, jmax)[i][j];
    }
};

TEST(CliFlatPlateOptions, AreRefusedForOtherCasesAndUnknownWalls) {
    ScratchFolder scratch("flat-plate-options");
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"flow", "--wall", "adiabatic"}, "--wall"},
        {{"flow", "--until-converged", "1e-8"}, "--until-converged"},
        {{"flow", "--case", "flat-plate", "--wall", "warm"}, "'warm' is not a known wall"},
        {{"flow", "--case", "flat-plate", "--until-converged", "0"}, "greater than 0"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"--output", scratch.Sub("out")});
        const CliResult result = RunCli(arguments);
        EXPECT_EQ(result.status, 2) << c.message;
        EXPECT_TRUE(Contains(result.err, c.message)) << result.err;
    }
}

class CliFlatPlateRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new ScratchFolder("flat-plate-run");
        result_ = new CliResult(RunCli(
            {"flow", "--case", "flat-plate", "--wall", "adiabatic", "--nx", "12", "--ny", "12",
             "--max-steps", std::to_string(kStepLimit), "--until-converged", "1e-4", "--formats",
             "png,json", "--snapshot-every", "100000", "--output", scratch_->Sub("out")}));
        reference_ = new ReferencePlate();
    }
    static void TearDownTestSuite() {
        delete reference_;
        delete result_;
        delete scratch_;
    }
    static fs::path Out() { return scratch_->Path() / "out"; }

    static ScratchFolder* scratch_;
    static CliResult* result_;
    static ReferencePlate* reference_;
};
ScratchFolder* CliFlatPlateRun::scratch_ = nullptr;
CliResult* CliFlatPlateRun::result_ = nullptr;
ReferencePlate* CliFlatPlateRun::reference_ = nullptr;

TEST_F(CliFlatPlateRun, StopsAtTheStepWhereTheDensitySettles) {
    ASSERT_EQ(result_->status, 0) << result_->err;
    ASSERT_LT(reference_->plate.GetLargestDensityChange(), kTolerance)
        << "the reference run must settle within the step limit for this test to mean anything";
    const nlohmann::json summary = Summary(Out());
    EXPECT_EQ(summary["steps"], reference_->timeSteps);
    EXPECT_EQ(summary["flat_plate"]["converged"], true);
    EXPECT_EQ(summary["flat_plate"]["until_converged"], kTolerance);
    EXPECT_EQ(summary["flat_plate"]["largest_density_change"],
              reference_->plate.GetLargestDensityChange());
    EXPECT_TRUE(Contains(result_->out, "after " + std::to_string(reference_->timeSteps) + " steps"))
        << result_->out;
}

TEST_F(CliFlatPlateRun, ReportsTheFiguresOfTheSettledField) {
    ASSERT_EQ(result_->status, 0) << result_->err;
    const nlohmann::json plate = Summary(Out())["flat_plate"];
    EXPECT_EQ(plate["wall"], "adiabatic");
    const auto& wallNode = reference_->Node(kNodes - 1, 0);
    const nlohmann::json& figures = plate["figures"];
    EXPECT_EQ(figures["trailing_edge_wall_temperature"]["ours"],
              wallNode.T / reference_->plate.GetTInf());
    EXPECT_EQ(figures["trailing_edge_wall_pressure"]["ours"],
              wallNode.P / reference_->plate.GetPInf());
    // Published values belong to the 70 x 70 textbook mesh only.
    EXPECT_TRUE(figures["trailing_edge_wall_temperature"]["published"].is_null());
}

TEST_F(CliFlatPlateRun, DrawsTheWallDistributionsAndTrailingEdgeProfiles) {
    ASSERT_EQ(result_->status, 0) << result_->err;
    for (const char* name :
         {"wall-pressure.png", "wall-temperature.png", "trailing-edge-pressure.png",
          "trailing-edge-temperature.png", "trailing-edge-velocity.png"}) {
        EXPECT_GT(PngWidth(Out() / name), 0) << name;
    }
    EXPECT_TRUE(Contains(result_->out, "flat-plate line plots (PNG)")) << result_->out;
}

TEST(CliFlatPlate, SaysSoWhenTheStepLimitComesFirst) {
    ScratchFolder scratch("flat-plate-unsettled");
    const CliResult result =
        RunCli({"flow", "--case", "flat-plate", "--nx", "12", "--ny", "12", "--max-steps", "30",
                "--until-converged", "1e-12", "--formats", "json", "--output", scratch.Sub("out")});
    ASSERT_EQ(result.status, 0) << result.err;
    const nlohmann::json summary = Summary(scratch.Path() / "out");
    EXPECT_EQ(summary["steps"], 29);
    EXPECT_EQ(summary["flat_plate"]["converged"], false);
    EXPECT_EQ(summary["flat_plate"]["wall"], "isothermal");
    EXPECT_TRUE(Contains(result.out, "converged")) << result.out;
    EXPECT_TRUE(Contains(result.out, "no: ")) << result.out;
}

TEST(CliFlatPlate, ComparesTheTextbookMeshWithThePublishedResults) {
    ScratchFolder scratch("flat-plate-textbook");
    const CliResult result =
        RunCli({"flow", "--case", "flat-plate", "--calls", "3", "--formats", "png,json",
                "--snapshot-every", "100000", "--output", scratch.Sub("out")});
    ASSERT_EQ(result.status, 0) << result.err;
    const nlohmann::json figures = Summary(scratch.Path() / "out")["flat_plate"]["figures"];
    EXPECT_EQ(figures["trailing_edge_wall_pressure"]["published"], 1.36);
    EXPECT_EQ(figures["shock_pressure_peak"]["published"], 1.76);
    // The isothermal wall has no temperature plot.
    EXPECT_FALSE(fs::exists(scratch.Path() / "out" / "wall-temperature.png"));
    EXPECT_TRUE(Contains(result.out, "(published 1.36")) << result.out;
}

}  // namespace
}  // namespace nembra_cli_test
