#include "MeshLayout.h"

#include <cmath>
#include <cstring>

namespace py = pybind11;

namespace nembra_python {
namespace {

// In record order. Python names are the usual symbols of the physics; "prospect" marks the
// predicted state of the step under way, as the library's names do.
const SlotName kSlots[kSlotCount] = {
    {"rho", "Rho"},
    {"rho_u", "RhoU"},
    {"rho_v", "RhoV"},
    {"e_t", "Et"},
    {"u", "U"},
    {"v", "V"},
    {"e_int", "Eint"},
    {"T", "T"},
    {"p", "P"},
    {"mu", "Mu"},
    {"k", "K"},
    {"u_prospect", "UProspect"},
    {"v_prospect", "VProspect"},
    {"e_int_prospect", "EintProspect"},
    {"T_prospect", "TProspect"},
    {"rho_prospect", "RhoProspect"},
    {"p_prospect", "PProspect"},
    {"e_t_prospect", "EtProspect"},
    {"mu_prospect", "MuProspect"},
    {"k_prospect", "KProspect"},
    {"flux_e0", "FluxE[0]"},
    {"flux_e1", "FluxE[1]"},
    {"flux_e2", "FluxE[2]"},
    {"flux_e3", "FluxE[3]"},
    {"flux_f0", "FluxF[0]"},
    {"flux_f1", "FluxF[1]"},
    {"flux_f2", "FluxF[2]"},
    {"flux_f3", "FluxF[3]"},
    {"du_dt0", "DUDt[0]"},
    {"du_dt1", "DUDt[1]"},
    {"du_dt2", "DUDt[2]"},
    {"du_dt3", "DUDt[3]"},
    {"q_prospect0", "QProspect[0]"},
    {"q_prospect1", "QProspect[1]"},
    {"q_prospect2", "QProspect[2]"},
    {"q_prospect3", "QProspect[3]"},
    {"flux_e_prospect0", "FluxEProspect[0]"},
    {"flux_e_prospect1", "FluxEProspect[1]"},
    {"flux_e_prospect2", "FluxEProspect[2]"},
    {"flux_e_prospect3", "FluxEProspect[3]"},
    {"flux_f_prospect0", "FluxFProspect[0]"},
    {"flux_f_prospect1", "FluxFProspect[1]"},
    {"flux_f_prospect2", "FluxFProspect[2]"},
    {"flux_f_prospect3", "FluxFProspect[3]"},
};

// The record's members lie where the table says: a check of the table against the header.
static_assert(offsetof(MeshNode, Rho) == 0 * sizeof(double));
static_assert(offsetof(MeshNode, Et) == 3 * sizeof(double));
static_assert(offsetof(MeshNode, T) == 7 * sizeof(double));
static_assert(offsetof(MeshNode, K) == 10 * sizeof(double));
static_assert(offsetof(MeshNode, UProspect) == 11 * sizeof(double));
static_assert(offsetof(MeshNode, RhoProspect) == 15 * sizeof(double));
static_assert(offsetof(MeshNode, KProspect) == 19 * sizeof(double));
static_assert(offsetof(MeshNode, FluxE) == 20 * sizeof(double));
static_assert(offsetof(MeshNode, FluxF) == 24 * sizeof(double));
static_assert(offsetof(MeshNode, DUDt) == 28 * sizeof(double));
static_assert(offsetof(MeshNode, QProspect) == 32 * sizeof(double));
static_assert(offsetof(MeshNode, FluxEProspect) == 36 * sizeof(double));
static_assert(offsetof(MeshNode, FluxFProspect) == 40 * sizeof(double));

double SlotValue(const MeshNode& node, int slot) {
    double value;
    std::memcpy(&value, reinterpret_cast<const char*>(&node) + slot * sizeof(double), sizeof value);
    return value;
}

std::string AcceptedNames() {
    std::string names;
    for (const SlotName& slot : kSlots) {
        names += slot.python;
        names += ", ";
    }
    return names + "speed, mach (or a slot's library name, such as Rho or FluxE[2])";
}

py::array_t<double> NewField(const MeshView& mesh) {
    return py::array_t<double>(
        {static_cast<py::ssize_t>(mesh.imax), static_cast<py::ssize_t>(mesh.jmax)});
}

}  // namespace

const SlotName& Slot(int index) {
    return kSlots[index];
}

FieldRequest FindField(const std::string& name) {
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (name == kSlots[slot].python || name == kSlots[slot].library) {
            return FieldRequest{slot, DerivedField::Speed};
        }
    }
    if (name == "speed") {
        return FieldRequest{-1, DerivedField::Speed};
    }
    if (name == "mach") {
        return FieldRequest{-1, DerivedField::Mach};
    }
    throw py::value_error("unknown field '" + name + "'; the fields are " + AcceptedNames());
}

py::dtype MeshNodeDtype() {
    py::list names, formats, offsets, titles;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        names.append(kSlots[slot].python);
        formats.append("<f8");
        offsets.append(slot * sizeof(double));
        // A title equal to the field's own name ("T") is refused by NumPy; it is not needed.
        if (std::strcmp(kSlots[slot].python, kSlots[slot].library) == 0) {
            titles.append(py::none());
        } else {
            titles.append(kSlots[slot].library);
        }
    }
    py::dict description;
    description["names"] = names;
    description["formats"] = formats;
    description["offsets"] = offsets;
    description["titles"] = titles;
    description["itemsize"] = sizeof(MeshNode);
    return py::dtype::from_args(description);
}

py::array_t<double> GatherSlot(const MeshView& mesh, int slot) {
    py::array_t<double> field = NewField(mesh);
    double* out = field.mutable_data();
    for (int i = 0; i < mesh.imax; ++i) {
        const MeshNode* row = mesh.rows[i];
        for (int j = 0; j < mesh.jmax; ++j) {
            *out++ = SlotValue(row[j], slot);
        }
    }
    return field;
}

py::array_t<double> GatherDerived(const MeshView& mesh, DerivedField field, double gamma,
                                  double gasConstant) {
    py::array_t<double> values = NewField(mesh);
    double* out = values.mutable_data();
    for (int i = 0; i < mesh.imax; ++i) {
        const MeshNode* row = mesh.rows[i];
        for (int j = 0; j < mesh.jmax; ++j) {
            const MeshNode& n = row[j];
            const double speed = std::sqrt(n.U * n.U + n.V * n.V);
            // The speed of sound of a perfect gas, sqrt(gamma R T), as the command line draws it.
            *out++ =
                field == DerivedField::Speed ? speed : speed / std::sqrt(gamma * gasConstant * n.T);
        }
    }
    return values;
}

py::array CopyMesh(const MeshView& mesh) {
    py::array records(MeshNodeDtype(),
                      {static_cast<py::ssize_t>(mesh.imax), static_cast<py::ssize_t>(mesh.jmax)});
    char* out = static_cast<char*>(records.mutable_data());
    const std::size_t rowBytes = static_cast<std::size_t>(mesh.jmax) * sizeof(MeshNode);
    for (int i = 0; i < mesh.imax; ++i) {
        std::memcpy(out + static_cast<std::size_t>(i) * rowBytes, mesh.rows[i], rowBytes);
    }
    return records;
}

void BindMeshLayout(py::module_& m) {
    py::list slots;
    for (const SlotName& slot : kSlots) {
        slots.append(py::make_tuple(slot.python, slot.library));
    }
    m.attr("SLOTS") = py::tuple(slots);
    m.attr("MESH_NODE") = MeshNodeDtype();
}

}  // namespace nembra_python
