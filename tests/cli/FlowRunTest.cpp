#include <cairo.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <set>

#include <unistd.h>

#include "CliTestSupport.h"
#include "ColorMaps.h"
#include "FlowFields.h"
#include "Nembra/NavierStokesEquations2D.h"
#include "PngOutput.h"

namespace nembra_cli_test {
namespace {

using Solver = Nembra::NavierStokesEquations2D;

constexpr int kNodes = 12;
constexpr int kCalls = 20;
constexpr int kEvery = 5;
// Snapshots: the initial field (step 0), every 5 steps, and the last of the 19 steps.
const std::vector<int> kSnapshotSteps = {0, 5, 10, 15, 19};

std::string StepName(const std::string& stem, int step, const std::string& extension) {
    char number[16];
    std::snprintf(number, sizeof number, "%06d", step);
    return stem + "_" + number + extension;
}

// The same run as the command's, in process: the solver after kCalls calls and the model time
// after each call.
struct ReferenceRun {
    Solver solver{kNodes, kNodes, 1e-5, kCalls};
    std::vector<double> timeAfterStep{0.0};

    ReferenceRun() {
        solver.UpdateDatas();
        for (int call = 2; call <= kCalls; ++call) {
            solver.UpdateDatas();
            timeAfterStep.push_back(timeAfterStep.back() + solver.GetDeltaT());
        }
    }
    const Solver::_MeshNode& Node(int i, int j) {
        int imax = 0;
        int jmax = 0;
        return solver.GetMeshNodes(imax, jmax)[i][j];
    }
};

class CliSmallFlowRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new ScratchFolder("small-flow-run");
        result_ = new CliResult(
            RunCli({"flow", "--nx", "12", "--ny", "12", "--max-steps", "20", "--snapshot-every",
                    "5", "--fields", "density,temperature,u", "--output", scratch_->Sub("out")}));
        reference_ = new ReferenceRun();
    }
    static void TearDownTestSuite() {
        delete reference_;
        delete result_;
        delete scratch_;
    }
    static fs::path Out(const std::string& name) { return scratch_->Path() / "out" / name; }

    static ScratchFolder* scratch_;
    static CliResult* result_;
    static ReferenceRun* reference_;
};
ScratchFolder* CliSmallFlowRun::scratch_ = nullptr;
CliResult* CliSmallFlowRun::result_ = nullptr;
ReferenceRun* CliSmallFlowRun::reference_ = nullptr;

TEST_F(CliSmallFlowRun, SucceedsAndReportsWhatItWrote) {
    ASSERT_EQ(result_->status, 0) << result_->err;
    EXPECT_NE(result_->out.find("heat maps (PNG)"), std::string::npos) << result_->out;
    EXPECT_NE(result_->out.find("time steps"), std::string::npos);
    // Standard error is not a terminal here: progress comes as plain lines, no bar.
    EXPECT_NE(result_->err.find("flow: 20/20 (100%)"), std::string::npos) << result_->err;
    EXPECT_EQ(result_->err.find('\r'), std::string::npos);
    EXPECT_TRUE(FilesContaining(scratch_->Path() / "out", ".part").empty());
}

TEST_F(CliSmallFlowRun, WritesReadableVariedHeatMapsWithYUp) {
    for (int step : kSnapshotSteps) {
        for (const std::string field : {"density", "temperature", "u"}) {
            const fs::path path = Out(StepName(field, step, ".png"));
            cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
            ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS) << path;
            const int width = cairo_image_surface_get_width(image);
            const int height = cairo_image_surface_get_height(image);
            EXPECT_GE(width, kNodes * 6) << path;
            EXPECT_GE(height, kNodes * 6) << path;
            const unsigned char* data = cairo_image_surface_get_data(image);
            const int stride = cairo_image_surface_get_stride(image);
            std::set<std::uint32_t> colours;
            for (int y = 0; y < height; ++y) {
                const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
                colours.insert(row, row + width);
            }
            EXPECT_GT(colours.size(), 10u) << path;
            cairo_surface_destroy(image);
        }
    }
}

TEST_F(CliSmallFlowRun, DrawsTheDensestNodeWhereXRunsRightAndYUp) {
    // The node holding the largest density is drawn in the top colour of viridis, at the pixel
    // that x-right, y-up placement gives it.
    int imax = 0;
    int jmax = 0;
    reference_->solver.GetMeshNodes(imax, jmax);
    int bestI = 0;
    int bestJ = 0;
    for (int i = 0; i < imax; ++i) {
        for (int j = 0; j < jmax; ++j) {
            if (reference_->Node(i, j).Rho > reference_->Node(bestI, bestJ).Rho) {
                bestI = i;
                bestJ = j;
            }
        }
    }
    const fs::path path = Out(StepName("density", 19, ".png"));
    cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    nembra_cli::HeatMap map;
    map.nx = imax;
    map.ny = jmax;
    map.cellWidth = nembra_cli::DefaultCellWidth(imax);
    map.cellHeight =
        map.cellWidth * reference_->solver.GetDeltaY() / reference_->solver.GetDeltaX();
    EXPECT_EQ(cairo_image_surface_get_width(image), nembra_cli::HeatMapImageSize(map).width);
    const nembra_cli::Pixel at = nembra_cli::HeatMapPixelOfNode(map, bestI, bestJ);
    const auto* row = reinterpret_cast<const std::uint32_t*>(
        cairo_image_surface_get_data(image) + at.y * cairo_image_surface_get_stride(image));
    const std::uint32_t top =
        nembra_cli::MakeColorTable(nembra_cli::ColorMapId::Viridis).packed[255];
    EXPECT_EQ(row[at.x] & 0xFFFFFFu, top & 0xFFFFFFu);
    cairo_surface_destroy(image);
}

TEST_F(CliSmallFlowRun, WritesVtkImageDataMatchingTheSolver) {
    const VtiFile vti = ReadVti(Out("flow_000019.vti"));
    EXPECT_EQ(Attribute(vti.imageData, "WholeExtent"), "0 11 0 11 0 0");
    std::istringstream spacing(Attribute(vti.imageData, "Spacing"));
    double dx = 0.0;
    double dy = 0.0;
    spacing >> dx >> dy;
    EXPECT_EQ(dx, reference_->solver.GetDeltaX());
    EXPECT_EQ(dy, reference_->solver.GetDeltaY());

    const std::map<std::string, int> components = {{"density", 1},     {"velocity", 3},
                                                   {"temperature", 1}, {"pressure", 1},
                                                   {"mach", 1},        {"viscosity", 1}};
    for (const auto& [name, count] : components) {
        ASSERT_EQ(vti.arrays.count(name), 1u) << name;
        const VtiArray& array = vti.arrays.at(name);
        EXPECT_EQ(array.components, count) << name;
        EXPECT_EQ(array.values.size(), static_cast<std::size_t>(kNodes * kNodes * count)) << name;
        EXPECT_EQ(array.declaredBytes, array.values.size() * sizeof(double)) << name;
    }
    // Point k = i + nx * j holds node (i, j).
    const int i = 7;
    const int j = 4;
    const std::size_t k = static_cast<std::size_t>(i + kNodes * j);
    const auto& node = reference_->Node(i, j);
    EXPECT_EQ(vti.arrays.at("density").values[k], node.Rho);
    EXPECT_EQ(vti.arrays.at("velocity").values[3 * k], node.U);
    EXPECT_EQ(vti.arrays.at("velocity").values[3 * k + 1], node.V);
    EXPECT_EQ(vti.arrays.at("velocity").values[3 * k + 2], 0.0);
    EXPECT_EQ(vti.arrays.at("temperature").values[k], node.T);
    EXPECT_EQ(vti.arrays.at("pressure").values[k], node.P);
    EXPECT_EQ(vti.arrays.at("viscosity").values[k], node.Mu);
    const double mach =
        std::sqrt(node.U * node.U + node.V * node.V) /
        std::sqrt(reference_->solver.GetGamma() * reference_->solver.GetGasConstant() * node.T);
    EXPECT_EQ(vti.arrays.at("mach").values[k], mach);
}

TEST_F(CliSmallFlowRun, CollectsEverySnapshotByModelTime) {
    const std::string pvd = ReadText(Out("flow.pvd"));
    std::size_t at = 0;
    std::vector<std::string> datasets;
    while ((at = pvd.find("<DataSet ", at)) != std::string::npos) {
        datasets.push_back(pvd.substr(at, pvd.find("/>", at) - at));
        ++at;
    }
    ASSERT_EQ(datasets.size(), kSnapshotSteps.size()) << pvd;
    for (std::size_t n = 0; n < datasets.size(); ++n) {
        const int step = kSnapshotSteps[n];
        EXPECT_EQ(Attribute(datasets[n], "file"), StepName("flow", step, ".vti"));
        EXPECT_EQ(std::strtod(Attribute(datasets[n], "timestep").c_str(), nullptr),
                  reference_->timeAfterStep[static_cast<std::size_t>(step)]);
        EXPECT_TRUE(fs::exists(Out(StepName("flow", step, ".vti"))));
        // Each file carries the frame time it is listed under, so that opening the files as
        // a group orders them as the collection does, and its exact model time beside it.
        const std::string vti = ReadText(Out(StepName("flow", step, ".vti")));
        const auto time = [&](const std::string& name) {
            const auto at = vti.find("Name=\"" + name + "\"");
            return at == std::string::npos
                       ? -1.0
                       : std::strtod(vti.c_str() + vti.find('>', at) + 1, nullptr);
        };
        EXPECT_EQ(time("TimeValue"),
                  std::strtod(Attribute(datasets[n], "timestep").c_str(), nullptr));
        EXPECT_EQ(time("ModelTime"), reference_->timeAfterStep[static_cast<std::size_t>(step)]);
    }
}

TEST_F(CliSmallFlowRun, SummarisesTheRun) {
    const nlohmann::json summary = nlohmann::json::parse(ReadText(Out("summary.json")));
    EXPECT_EQ(summary["calls_made"], kCalls);
    EXPECT_EQ(summary["steps"], kCalls - 1);
    EXPECT_EQ(summary["model_time"].get<double>(), reference_->timeAfterStep.back());
    EXPECT_EQ(summary["non_finite_reports"], 0);
    EXPECT_EQ(summary["snapshots"], kSnapshotSteps.size());
    EXPECT_EQ(summary["parameters"]["constructor"], "four-argument");
    EXPECT_EQ(summary["parameters"]["nodes_x"], kNodes);
    double densest = 0.0;
    double coolest = HUGE_VAL;
    for (int i = 0; i < kNodes; ++i) {
        for (int j = 0; j < kNodes; ++j) {
            densest = std::max(densest, reference_->Node(i, j).Rho);
            coolest = std::min(coolest, reference_->Node(i, j).T);
        }
    }
    EXPECT_EQ(summary["fields_at_end"]["density"]["max"].get<double>(), densest);
    EXPECT_EQ(summary["fields_at_end"]["temperature"]["min"].get<double>(), coolest);
    // Every array of the .vti files has its range, viscosity included.
    for (const char* field :
         {"density", "temperature", "pressure", "u", "v", "mach", "viscosity"}) {
        EXPECT_TRUE(summary["fields_at_end"][field]["max"].is_number()) << field;
    }
    EXPECT_GT(summary["wall_time"]["per_step_s"].get<double>(), 0.0);
}

TEST(CliFlowRun, WritesOnlyTheChosenFormats) {
    ScratchFolder scratch("json-only");
    const CliResult result =
        RunCli({"flow", "--nx", "11", "--ny", "11", "--calls", "3", "--formats", "json", "--quiet",
                "--output", scratch.Sub("out")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(fs::exists(scratch.Path() / "out" / "summary.json"));
    EXPECT_TRUE(FilesContaining(scratch.Path() / "out", ".png").empty());
    EXPECT_TRUE(FilesContaining(scratch.Path() / "out", ".vti").empty());
}

// Standard output of this process, captured while `run` runs.
template <typename Run>
std::string CapturedStandardOutput(Run run) {
    std::fflush(stdout);
    FILE* capture = std::tmpfile();
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(::fileno(capture), STDOUT_FILENO);
    run();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    std::rewind(capture);
    std::string text;
    for (int c; (c = std::fgetc(capture)) != EOF;) {
        text += static_cast<char>(c);
    }
    std::fclose(capture);
    return text;
}

// A domain so small that the solver's values break down at once: with --quiet its reports stay
// off standard output, and the summary still counts them.
TEST(CliFlowRun, QuietKeepsTheSolversValueReportsOffStandardOutput) {
    ScratchFolder scratch("quiet-reports");
    CliResult result;
    const std::string quiet = CapturedStandardOutput([&] {
        result = RunCli({"flow", "--length", "1e-300", "--nx", "11", "--ny", "11", "--calls", "20",
                         "--formats", "json", "-q", "--output", scratch.Sub("quiet")});
    });
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(quiet.find("error:value'error"), std::string::npos);
    const nlohmann::json summary =
        nlohmann::json::parse(ReadText(scratch.Path() / "quiet" / "summary.json"));
    EXPECT_GT(summary["non_finite_reports"].get<long long>(), 0);
    const std::string shown = CapturedStandardOutput([&] {
        RunCli({"flow", "--length", "1e-300", "--nx", "11", "--ny", "11", "--calls", "20",
                "--formats", "json", "--output", scratch.Sub("shown")});
    });
    EXPECT_NE(shown.find("error:value'error"), std::string::npos);
}

// A metre-long domain is 400 times wider than tall; a nanometre one the reverse. Both give
// pictures high enough for their labels, and neither is refused for an option not given.
TEST(CliFlowRun, DrawsReadablePicturesOfFlatAndTallDomains) {
    ScratchFolder scratch("aspect");
    for (const char* length : {"1", "1e-9"}) {
        const std::string out = scratch.Sub(std::string("length-") + length);
        const CliResult result = RunCli({"flow", "--length", length, "--calls", "2", "--formats",
                                         "png", "-q", "--output", out});
        ASSERT_EQ(result.status, 0) << length << ": " << result.err;
        cairo_surface_t* image =
            cairo_image_surface_create_from_png((fs::path(out) / "density_000001.png").c_str());
        ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS) << length;
        const int width = cairo_image_surface_get_width(image);
        const int height = cairo_image_surface_get_height(image);
        EXPECT_GE(height, 300) << length;
        EXPECT_LE(height, 3 * width) << length;
        cairo_surface_destroy(image);
    }
}

}  // namespace
}  // namespace nembra_cli_test
