#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "ColorMaps.h"
#include "FlowCases.h"
#include "FlowResume.h"
#include "Nembra/ShockTube.h"
#include "PngOutput.h"
#include "ResumedFlow.h"
#include "ShockTubeProfile.h"
#include "Ticks.h"

// The shock tube: runs to the time at which the exact shock has crossed a third of the tube,
// then writes the middle row's profile, a picture of it against the exact solution, and the
// comparison of the plateaus and the shock's position.
namespace nembra_cli {

namespace {

using Nembra::ShockTube;

ShockTube& AsShockTube(Nembra::NavierStokesEquations2D& solver) {
    return dynamic_cast<ShockTube&>(solver);
}

std::string Percent(double fraction) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.3f %%", 100 * fraction);
    return text;
}

// Largest difference between any row and the middle one, relative to the range of the middle
// row's values, over density, velocity and pressure: the flow's departure from one dimension.
double LargestRowDifference(ShockTube& tube) {
    int imax = 0;
    int jmax = 0;
    ShockTube::_MeshNode** rows = tube.GetMeshNodes(imax, jmax);
    if (rows == nullptr) {
        return 0;
    }
    const int middle = jmax / 2;
    double largest = 0;
    for (double ShockTube::_MeshNode::*slot :
         {&ShockTube::_MeshNode::Rho, &ShockTube::_MeshNode::U, &ShockTube::_MeshNode::P}) {
        double low = INFINITY;
        double high = -INFINITY;
        double difference = 0;
        for (int i = 0; i < imax; ++i) {
            const double centre = rows[i][middle].*slot;
            low = std::fmin(low, centre);
            high = std::fmax(high, centre);
            for (int j = 0; j < jmax; ++j) {
                difference = std::fmax(difference, std::fabs(rows[i][j].*slot - centre));
            }
        }
        largest = std::fmax(largest, high > low ? difference / (high - low) : difference);
    }
    return largest;
}

// Markers of the exact solution: about this many along the tube, so that each stays visible
// beside the computed curve of its colour.
constexpr std::size_t kExactMarkers = 60;

// Density, velocity and pressure in units of the left state (Sod's scaling: all three lie
// between 0 and 1): computed along the middle row as lines, exact as markers of the same colour.
void WritePicture(ShockTube& tube, const Centreline& line, double t, const fs::path& path) {
    const Nembra::ExactRiemannSolution exact = tube.GetExactSolution();
    const double rho = tube.GetLeftDensity();
    const double p = tube.GetLeftPressure();
    const double speed = std::sqrt(p / rho);
    // Sampled at every few nodes, at the nodes' own positions.
    const std::size_t stride = std::max<std::size_t>(1, line.x.size() / kExactMarkers);
    const LengthUnit unit = ChooseLengthUnit(line.x.empty() ? 0.0 : line.x.back());
    std::vector<double> xs, exactDensity, exactU, exactPressure;
    for (std::size_t k = 0; k < line.x.size(); k += stride) {
        const Nembra::ExactRiemannSolution::State s = exact.Sample(line.x[k], t);
        xs.push_back(line.x[k] / unit.metres);
        exactDensity.push_back(s.Density / rho);
        exactU.push_back(s.Velocity / speed);
        exactPressure.push_back(s.Pressure / p);
    }
    auto scaled = [](const std::vector<double>& values, double by) {
        std::vector<double> out;
        for (double v : values) {
            out.push_back(v / by);
        }
        return out;
    };
    const std::vector<double> x = scaled(line.x, unit.metres);
    const Rgb densityColor = SampleColorMap(ColorMapId::Viridis, 0.1);
    const Rgb velocityColor = SampleColorMap(ColorMapId::Viridis, 0.5);
    const Rgb pressureColor = SampleColorMap(ColorMapId::Inferno, 0.6);
    constexpr SeriesStyle kMarkers = SeriesStyle::Markers;
    LinePlot plot{
        "Shock tube at t = " + FormatNumber(t) + " s: computed (lines) and exact (markers)",
        "x, " + unit.name,
        "in units of the left state",
        {
            {"density ρ/ρL", x, scaled(line.density, rho), densityColor},
            {"density, exact", xs, exactDensity, densityColor, kMarkers},
            {"velocity u/√(pL/ρL)", x, scaled(line.u, speed), velocityColor},
            {"velocity, exact", xs, exactU, velocityColor, kMarkers},
            {"pressure p/pL", x, scaled(line.pressure, p), pressureColor},
            {"pressure, exact", xs, exactPressure, pressureColor, kMarkers},
        }};
    WriteLinePlotPng(path, plot);
}

class ShockTubeCase : public FlowCase {
public:
    ShockTubeCase()
        : FlowCase("shock-tube",
                   "10 : 1 pressure and 8 : 1 density across a diaphragm in a 1-D tube, compared "
                   "with the exact Riemann solution (1000 × 11 nodes over 1e-4 m; runs until the "
                   "shock has crossed a third of the tube)") {}

    std::unique_ptr<Nembra::NavierStokesEquations2D> Create(
        const std::optional<FlowGeometry>& geometry) const override {
        return ConstructSolver<ShockTube>(geometry);
    }

    std::optional<double> DefaultEndTime(Nembra::NavierStokesEquations2D& solver) const override {
        return AsShockTube(solver).GetDefaultEndTime();
    }

    // The two states are fixed by the class and the end states held at the tube's ends every
    // step: stored to be checked, so that a file of a tube with other states is refused.
    CaseState SaveState(Nembra::NavierStokesEquations2D& solver) const override {
        const ShockTube& tube = AsShockTube(solver);
        CaseState state;
        state.numbers = {{"left_pressure", tube.GetLeftPressure()},
                         {"left_temperature", tube.GetLeftTemperature()},
                         {"right_pressure", tube.GetRightPressure()},
                         {"right_temperature", tube.GetRightTemperature()}};
        return state;
    }

    std::unique_ptr<Nembra::NavierStokesEquations2D> Resume(
        const ResumeArguments& a, std::vector<FlowNode> records, const CaseState& state,
        const std::string& file) const override {
        auto tube = std::make_unique<ResumedFlow<ShockTube>>(std::move(records), a.nodesX, a.nodesY,
                                                             a.lengthX, a.maxStepCount);
        RequireSameCaseState(state, SaveState(*tube), file);
        return tube;
    }

    void WriteResults(Nembra::NavierStokesEquations2D& solver, const FlowProgress& run,
                      const FlowResultFiles& files, OutputLog& log) const override {
        ShockTube& tube = AsShockTube(solver);
        const Centreline line = ReadCentreline(tube);
        const fs::path csv = files.directory / "centreline.csv";
        WriteTextAtomically(csv, CentrelineCsv(line));
        log.Add("centre-line profile (CSV)", csv);
        if (files.pictures) {
            const fs::path png = files.directory / "shock-tube.png";
            WritePicture(tube, line, run.modelTime, png);
            log.Add("shock-tube profile against the exact solution (PNG)", png);
        }
    }

    void AddFigures(Nembra::NavierStokesEquations2D& solver, const FlowProgress& run,
                    RunReport& report) const override {
        for (const ShockTubeFigure& f : Compare(solver, run)) {
            const bool shock = f.key == "shock_position";
            report.AddFigure(f.name, FormatNumber(f.computed) + " " + f.unit + "  (exact " +
                                         FormatNumber(f.exact) + ", " + Percent(f.difference) +
                                         (shock ? " of the tube" : "") + ")");
        }
        report.AddFigure(
            "largest difference between rows",
            FormatNumber(LargestRowDifference(AsShockTube(solver))) + " of the profile's range");
    }

    void AddSummary(Nembra::NavierStokesEquations2D& solver, const FlowProgress& run,
                    nlohmann::json& summary) const override {
        ShockTube& tube = AsShockTube(solver);
        nlohmann::json figures = nlohmann::json::object();
        for (const ShockTubeFigure& f : Compare(solver, run)) {
            const bool shock = f.key == "shock_position";
            figures[f.key] = {
                {"computed", f.computed},
                {"exact", f.exact},
                {shock ? "difference_over_length" : "relative_difference", f.difference}};
        }
        summary["shock_tube"] = {
            {"left",
             {{"pressure", tube.GetLeftPressure()},
              {"temperature", tube.GetLeftTemperature()},
              {"density", tube.GetLeftDensity()}}},
            {"right",
             {{"pressure", tube.GetRightPressure()},
              {"temperature", tube.GetRightTemperature()},
              {"density", tube.GetRightDensity()}}},
            {"diaphragm_position", tube.GetDiaphragmPosition()},
            {"default_end_time", tube.GetDefaultEndTime()},
            {"figures", figures},
            {"largest_row_difference", LargestRowDifference(tube)},
        };
    }

private:
    static std::vector<ShockTubeFigure> Compare(Nembra::NavierStokesEquations2D& solver,
                                                const FlowProgress& run) {
        ShockTube& tube = AsShockTube(solver);
        return CompareWithExact(ReadCentreline(tube), tube.GetExactSolution(), run.modelTime,
                                tube.GetLengthX());
    }
};

}  // namespace

std::unique_ptr<FlowCase> MakeShockTubeCase() {
    return std::make_unique<ShockTubeCase>();
}

}  // namespace nembra_cli
