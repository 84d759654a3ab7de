#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ColorMaps.h"
#include "Nembra/NavierStokesEquations2D.h"

namespace nembra_cli {

enum class FlowField { Density, Temperature, Pressure, U, V, Speed, Mach };

struct FieldInfo {
    FlowField field;
    std::string name;   // as typed on the command line and used in file names
    std::string title;  // as printed on pictures
    std::string unit;
    ColorMapId colorMap;
    bool signedValues;  // drawn on a range symmetric about zero
};

const std::vector<FieldInfo>& AllFlowFields();
const FieldInfo& DescribeField(FlowField field);
std::optional<FlowField> FindFlowField(const std::string& name);

// A copy of the current state of every node, taken between two solver calls so that pictures
// and files can be written while the solver goes on. Arrays are indexed i + nx * j (x fastest),
// the order VTK image data expects.
struct FlowSnapshot {
    int calls = 0;  // UpdateDatas calls made so far
    int steps = 0;  // time steps taken (the first call only lays the initial field)
    double modelTime = 0.0;
    int nx = 0;
    int ny = 0;
    double dx = 0.0;
    double dy = 0.0;
    double gamma = 0.0;
    double gasConstant = 0.0;
    std::vector<double> rho, u, v, t, p, mu;

    std::size_t NodeCount() const { return rho.size(); }
};

FlowSnapshot CaptureSnapshot(Nembra::NavierStokesEquations2D& solver, int calls, int steps,
                             double modelTime);

// Values of one field at every node, derived from the snapshot where needed.
std::vector<double> FieldValues(const FlowSnapshot& snapshot, FlowField field);

// Local Mach number: speed over the speed of sound sqrt(gamma R T) of a perfect gas.
double MachNumber(double u, double v, double t, double gamma, double gasConstant);

struct ValueRange {
    double min = 0.0;
    double max = 0.0;
    bool empty = true;  // no finite value at all
};
// Smallest and largest finite value; non-finite values are left out.
ValueRange FiniteRange(const std::vector<double>& values);

// Nodes that the solver's value check reports before an advancing call: rows 0..IMax-2,
// nodes 0..JMax-2, one report per node holding an infinite or NaN density, velocity, energy,
// conductivity, viscosity or pressure.
int CountUnusableNodes(Nembra::NavierStokesEquations2D& solver);

}  // namespace nembra_cli
