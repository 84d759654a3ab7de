#pragma once

#include <cstddef>
#include <string>

#include <pybind11/numpy.h>

#include "Nembra/NavierStokesEquations2D.h"

namespace nembra_python {

using MeshNode = Nembra::NavierStokesEquations2D::_MeshNode;
constexpr int kSlotCount = 44;
static_assert(sizeof(MeshNode) == kSlotCount * sizeof(double),
              "a mesh node is 44 doubles with nothing between them");

// One slot of the node record: its Python name and the library's member name.
struct SlotName {
    const char* python;
    const char* library;
};
const SlotName& Slot(int index);

// What field() can derive besides the 44 slots.
enum class DerivedField { Speed, Mach };

// A field by name: a slot (by either of its names) or a derived field. Throws ValueError naming
// the accepted names when the name is unknown.
struct FieldRequest {
    int slot = -1;  // -1 for a derived field
    DerivedField derived = DerivedField::Speed;
};
FieldRequest FindField(const std::string& name);

// The structured NumPy dtype of one node record: 44 float64 fields named as in Python, titled
// with the library's names so that either indexes them.
pybind11::dtype MeshNodeDtype();

// The live mesh of a solver, as rows of nodes (rows may be null only when imax is 0).
struct MeshView {
    MeshNode** rows = nullptr;
    int imax = 0;
    int jmax = 0;
};

// New (imax, jmax) arrays: one slot, a derived field, or every record.
pybind11::array_t<double> GatherSlot(const MeshView& mesh, int slot);
pybind11::array_t<double> GatherDerived(const MeshView& mesh, DerivedField field, double gamma,
                                        double gasConstant);
pybind11::array CopyMesh(const MeshView& mesh);

}  // namespace nembra_python
