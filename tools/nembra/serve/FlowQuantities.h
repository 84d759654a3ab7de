#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ColorMaps.h"
#include "Nembra/NavierStokesEquations2D.h"

namespace nembra_cli {

// A quantity the viewer can show over the flow mesh: one of the derived fields of the pictures
// (density, Mach number, ...) or one of the 44 slots of the node record, named as in the record.
struct FlowQuantity {
    std::string name;
    std::string unit;
    ColorMapId colorMap;
    bool signedValues;  // drawn on a range symmetric about zero
};

const std::vector<FlowQuantity>& FlowQuantities();
std::optional<std::size_t> FindFlowQuantity(const std::string& name);

// Values of quantity `index` at every node, indexed i + nx * j (x fastest), read from the live
// mesh between two solver calls.
std::vector<double> FlowQuantityValues(Nembra::NavierStokesEquations2D& solver, std::size_t index);

}  // namespace nembra_cli
