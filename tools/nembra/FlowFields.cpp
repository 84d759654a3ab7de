#include "FlowFields.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace nembra_cli {

using Node = Nembra::NavierStokesEquations2D::_MeshNode;

const std::vector<FieldInfo>& AllFlowFields() {
    static const std::vector<FieldInfo> fields = {
        {FlowField::Density, "density", "density", "kg/m³", ColorMapId::Viridis, false},
        {FlowField::Temperature, "temperature", "temperature", "K", ColorMapId::Inferno, false},
        {FlowField::Pressure, "pressure", "pressure", "Pa", ColorMapId::Viridis, false},
        {FlowField::U, "u", "x-velocity u", "m/s", ColorMapId::CoolWarm, true},
        {FlowField::V, "v", "y-velocity v", "m/s", ColorMapId::CoolWarm, true},
        {FlowField::Speed, "speed", "speed", "m/s", ColorMapId::Inferno, false},
        {FlowField::Mach, "mach", "Mach number", "", ColorMapId::Inferno, false},
    };
    return fields;
}

const FieldInfo& DescribeField(FlowField field) {
    for (const FieldInfo& info : AllFlowFields()) {
        if (info.field == field) {
            return info;
        }
    }
    throw std::logic_error("unlisted flow field");
}

std::optional<FlowField> FindFlowField(const std::string& name) {
    for (const FieldInfo& info : AllFlowFields()) {
        if (info.name == name) {
            return info.field;
        }
    }
    return std::nullopt;
}

FlowSnapshot CaptureSnapshot(Nembra::NavierStokesEquations2D& solver, int calls, int steps,
                             double modelTime) {
    FlowSnapshot s;
    s.calls = calls;
    s.steps = steps;
    s.modelTime = modelTime;
    s.dx = solver.GetDeltaX();
    s.dy = solver.GetDeltaY();
    s.gamma = solver.GetGamma();
    s.gasConstant = solver.GetGasConstant();
    Node** mesh = solver.GetMeshNodes(s.nx, s.ny);
    if (mesh == nullptr) {
        s.nx = s.ny = 0;
        return s;
    }
    const std::size_t count = static_cast<std::size_t>(s.nx) * static_cast<std::size_t>(s.ny);
    for (std::vector<double>* a : {&s.rho, &s.u, &s.v, &s.t, &s.p, &s.mu}) {
        a->resize(count);
    }
    for (int j = 0; j < s.ny; ++j) {
        for (int i = 0; i < s.nx; ++i) {
            const Node& node = mesh[i][j];
            const std::size_t k = static_cast<std::size_t>(i) + static_cast<std::size_t>(s.nx) * j;
            s.rho[k] = node.Rho;
            s.u[k] = node.U;
            s.v[k] = node.V;
            s.t[k] = node.T;
            s.p[k] = node.P;
            s.mu[k] = node.Mu;
        }
    }
    return s;
}

double MachNumber(double u, double v, double t, double gamma, double gasConstant) {
    return std::sqrt(u * u + v * v) / std::sqrt(gamma * gasConstant * t);
}

std::vector<double> FieldValues(const FlowSnapshot& s, FlowField field) {
    switch (field) {
        case FlowField::Density:
            return s.rho;
        case FlowField::Temperature:
            return s.t;
        case FlowField::Pressure:
            return s.p;
        case FlowField::U:
            return s.u;
        case FlowField::V:
            return s.v;
        case FlowField::Speed:
        case FlowField::Mach:
            break;
    }
    std::vector<double> values(s.NodeCount());
    for (std::size_t k = 0; k < values.size(); ++k) {
        values[k] = field == FlowField::Speed
                        ? std::sqrt(s.u[k] * s.u[k] + s.v[k] * s.v[k])
                        : MachNumber(s.u[k], s.v[k], s.t[k], s.gamma, s.gasConstant);
    }
    return values;
}

ValueRange FiniteRange(const std::vector<double>& values) {
    ValueRange range;
    for (double value : values) {
        if (!std::isfinite(value)) {
            continue;
        }
        if (range.empty) {
            range = {value, value, false};
        } else {
            range.min = std::min(range.min, value);
            range.max = std::max(range.max, value);
        }
    }
    return range;
}

namespace {

// x - x is 0 for every finite x and NaN for infinities and NaNs, so one sum flags a node without
// a branch per slot; the node test stays cheap next to the step it precedes.
bool HoldsUnusableValue(const Node& n) {
    const double sum = (n.Rho - n.Rho) + (n.U - n.U) + (n.V - n.V) + (n.Et - n.Et) +
                       (n.Eint - n.Eint) + (n.K - n.K) + (n.Mu - n.Mu) + (n.P - n.P);
    return sum != 0.0;
}

}  // namespace

int CountUnusableNodes(Nembra::NavierStokesEquations2D& solver) {
    int imax = 0;
    int jmax = 0;
    Node** mesh = solver.GetMeshNodes(imax, jmax);
    if (mesh == nullptr) {
        return 0;
    }
    int count = 0;
    for (int i = 0; i < imax - 1; ++i) {
        for (int j = 0; j < jmax - 1; ++j) {
            count += HoldsUnusableValue(mesh[i][j]) ? 1 : 0;
        }
    }
    return count;
}

}  // namespace nembra_cli
