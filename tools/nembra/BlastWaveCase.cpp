#include <cmath>
#include <string>

#include "FlowCases.h"
#include "FlowResume.h"
#include "Nembra/BlastWave.h"
#include "PngOutput.h"
#include "ResumedFlow.h"

// The blast wave: a disc of compressed, hot gas bursting in the closed box. Its pictures show
// pressure and density by default, and its report measures how far the field has drifted from
// the symmetry about the box's two mid-lines with which it was laid.
namespace nembra_cli {

namespace {

using Nembra::BlastWave;
using Node = BlastWave::_MeshNode;

// Upper end of the default colour range, in units of the ambient state.
constexpr double kWavesRange = 3.0;

// Largest difference between a node and its mirror image about the vertical (alongX) or the
// horizontal mid-line, relative to the field's range.
double Asymmetry(BlastWave& blast, bool alongX, double Node::*slot) {
    int imax = 0;
    int jmax = 0;
    Node** rows = blast.GetMeshNodes(imax, jmax);
    double largest = 0;
    double low = INFINITY;
    double high = -INFINITY;
    for (int i = 0; rows != nullptr && i < imax; ++i) {
        for (int j = 0; j < jmax; ++j) {
            const double value = rows[i][j].*slot;
            const double mirror =
                alongX ? rows[imax - 1 - i][j].*slot : rows[i][jmax - 1 - j].*slot;
            largest = std::fmax(largest, std::fabs(value - mirror));
            low = std::fmin(low, value);
            high = std::fmax(high, value);
        }
    }
    return high > low ? largest / (high - low) : largest;
}

struct SymmetryFigure {
    const char* name;
    const char* key;
    double value;
};

std::vector<SymmetryFigure> MeasureSymmetry(BlastWave& blast) {
    return {
        {"density asymmetry about x = L/2", "density_about_vertical_midline",
         Asymmetry(blast, true, &Node::Rho)},
        {"density asymmetry about y = H/2", "density_about_horizontal_midline",
         Asymmetry(blast, false, &Node::Rho)},
        {"pressure asymmetry about x = L/2", "pressure_about_vertical_midline",
         Asymmetry(blast, true, &Node::P)},
        {"pressure asymmetry about y = H/2", "pressure_about_horizontal_midline",
         Asymmetry(blast, false, &Node::P)},
    };
}

class BlastWaveCase : public FlowCase {
public:
    BlastWaveCase()
        : FlowCase("blast",
                   "a disc of air at 10 times the pressure and twice the temperature bursts in "
                   "the closed box; the circular shock reaches the walls and reflects (141 × 141 "
                   "nodes over 1e-5 m, 1500 calls)") {}

    std::unique_ptr<Nembra::NavierStokesEquations2D> Create(
        const std::optional<FlowGeometry>& geometry) const override {
        return ConstructSolver<BlastWave>(geometry);
    }

    // The burst's own disc sets the range of the first picture, and everything after it is
    // weaker than a third of that: the waves would show in the lowest tenth of the colours.
    // Three times the ambient state covers the shock at every later step.
    std::vector<PictureScale> DefaultScales(
        Nembra::NavierStokesEquations2D& solver) const override {
        const auto& blast = dynamic_cast<const BlastWave&>(solver);
        const double pressure = blast.GetAmbientPressure();
        const double density = pressure / (blast.GetGasConstant() * blast.GetAmbientTemperature());
        return {{FlowField::Pressure, Span{0.0, kWavesRange * pressure}, false},
                {FlowField::Density, Span{0.0, kWavesRange * density}, false}};
    }

    // Only the initial field is the blast's own; its disc is stored to be checked, so that a file
    // of another disc is refused.
    CaseState SaveState(Nembra::NavierStokesEquations2D& solver) const override {
        const auto& blast = dynamic_cast<const BlastWave&>(solver);
        CaseState state;
        state.numbers = {{"ambient_pressure", blast.GetAmbientPressure()},
                         {"ambient_temperature", blast.GetAmbientTemperature()},
                         {"disc_pressure", blast.GetDiscPressure()},
                         {"disc_temperature", blast.GetDiscTemperature()},
                         {"disc_radius", blast.GetDiscRadius()}};
        return state;
    }

    std::unique_ptr<Nembra::NavierStokesEquations2D> Resume(
        const ResumeArguments& a, std::vector<FlowNode> records, const CaseState& state,
        const std::string& file) const override {
        auto blast = std::make_unique<ResumedFlow<BlastWave>>(std::move(records), a.nodesX,
                                                              a.nodesY, a.lengthX, a.maxStepCount);
        RequireSameCaseState(state, SaveState(*blast), file);
        return blast;
    }

    std::vector<std::string> DefaultFields() const override { return {"pressure", "density"}; }

    void AddFigures(Nembra::NavierStokesEquations2D& solver, const FlowProgress& /*run*/,
                    RunReport& report) const override {
        for (const SymmetryFigure& f : MeasureSymmetry(dynamic_cast<BlastWave&>(solver))) {
            report.AddFigure(f.name, FormatNumber(f.value) + " of the field's range");
        }
    }

    void AddSummary(Nembra::NavierStokesEquations2D& solver, const FlowProgress& /*run*/,
                    nlohmann::json& summary) const override {
        BlastWave& blast = dynamic_cast<BlastWave&>(solver);
        nlohmann::json symmetry = nlohmann::json::object();
        for (const SymmetryFigure& f : MeasureSymmetry(blast)) {
            symmetry[f.key] = f.value;
        }
        summary["blast"] = {
            {"disc",
             {{"pressure", blast.GetDiscPressure()},
              {"temperature", blast.GetDiscTemperature()},
              {"radius", blast.GetDiscRadius()},
              {"centre", {blast.GetCentreX(), blast.GetCentreY()}}}},
            {"ambient",
             {{"pressure", blast.GetAmbientPressure()},
              {"temperature", blast.GetAmbientTemperature()}}},
            {"asymmetry", symmetry},
        };
    }
};

}  // namespace

std::unique_ptr<FlowCase> MakeBlastWaveCase() {
    return std::make_unique<BlastWaveCase>();
}

}  // namespace nembra_cli
