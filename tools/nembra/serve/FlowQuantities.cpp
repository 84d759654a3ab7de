#include "FlowQuantities.h"

#include "FlowFields.h"

namespace nembra_cli {

namespace {

using Node = Nembra::NavierStokesEquations2D::_MeshNode;

// One slot of the node record: a scalar member or one entry of a four-entry member.
struct RecordSlot {
    std::string name;
    double Node::*scalar;
    double (Node::*vector)[4];
    int entry;
};

std::vector<RecordSlot> MakeRecordSlots() {
    const std::pair<const char*, double Node::*> scalars[] = {
        {"Rho", &Node::Rho},
        {"RhoU", &Node::RhoU},
        {"RhoV", &Node::RhoV},
        {"Et", &Node::Et},
        {"U", &Node::U},
        {"V", &Node::V},
        {"Eint", &Node::Eint},
        {"T", &Node::T},
        {"P", &Node::P},
        {"Mu", &Node::Mu},
        {"K", &Node::K},
        {"UProspect", &Node::UProspect},
        {"VProspect", &Node::VProspect},
        {"EintProspect", &Node::EintProspect},
        {"TProspect", &Node::TProspect},
        {"RhoProspect", &Node::RhoProspect},
        {"PProspect", &Node::PProspect},
        {"EtProspect", &Node::EtProspect},
        {"MuProspect", &Node::MuProspect},
        {"KProspect", &Node::KProspect},
    };
    const std::pair<const char*, double(Node::*)[4]> vectors[] = {
        {"FluxE", &Node::FluxE},
        {"FluxF", &Node::FluxF},
        {"DUDt", &Node::DUDt},
        {"QProspect", &Node::QProspect},
        {"FluxEProspect", &Node::FluxEProspect},
        {"FluxFProspect", &Node::FluxFProspect},
    };
    std::vector<RecordSlot> slots;
    for (const auto& [name, member] : scalars) {
        slots.push_back({name, member, nullptr, 0});
    }
    for (const auto& [name, member] : vectors) {
        for (int entry = 0; entry < 4; ++entry) {
            slots.push_back(
                {std::string(name) + "[" + std::to_string(entry) + "]", nullptr, member, entry});
        }
    }
    return slots;
}

const std::vector<RecordSlot>& RecordSlots() {
    static const std::vector<RecordSlot> slots = MakeRecordSlots();
    return slots;
}

double SlotValue(const Node& node, const RecordSlot& slot) {
    return slot.scalar != nullptr ? node.*slot.scalar : (node.*slot.vector)[slot.entry];
}

std::vector<FlowQuantity> MakeFlowQuantities() {
    std::vector<FlowQuantity> quantities;
    for (const FieldInfo& field : AllFlowFields()) {
        quantities.push_back({field.name, field.unit, field.colorMap, field.signedValues});
    }
    for (const RecordSlot& slot : RecordSlots()) {
        quantities.push_back({slot.name, "", ColorMapId::Viridis, false});
    }
    return quantities;
}

std::vector<double> SlotValues(Nembra::NavierStokesEquations2D& solver, const RecordSlot& slot) {
    int nx = 0;
    int ny = 0;
    Node** mesh = solver.GetMeshNodes(nx, ny);
    std::vector<double> values;
    if (mesh == nullptr) {
        return values;
    }
    values.resize(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny));
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            values[static_cast<std::size_t>(i) + static_cast<std::size_t>(nx) * j] =
                SlotValue(mesh[i][j], slot);
        }
    }
    return values;
}

}  // namespace

const std::vector<FlowQuantity>& FlowQuantities() {
    static const std::vector<FlowQuantity> quantities = MakeFlowQuantities();
    return quantities;
}

std::optional<std::size_t> FindFlowQuantity(const std::string& name) {
    const std::vector<FlowQuantity>& all = FlowQuantities();
    for (std::size_t k = 0; k < all.size(); ++k) {
        if (all[k].name == name) {
            return k;
        }
    }
    return std::nullopt;
}

std::vector<double> FlowQuantityValues(Nembra::NavierStokesEquations2D& solver, std::size_t index) {
    const std::vector<FieldInfo>& fields = AllFlowFields();
    if (index < fields.size()) {
        const FlowSnapshot snapshot = CaptureSnapshot(solver, 0, 0, 0.0);
        return FieldValues(snapshot, fields[index].field);
    }
    return SlotValues(solver, RecordSlots().at(index - fields.size()));
}

}  // namespace nembra_cli
