// The parts of the shared flow methods that are not templates.
#include "FlowMethods.h"

namespace nembra_python {

void CheckMeshArguments(int imax, int jmax, double lengthX, int maxSteps) {
    if (imax < kStencilNodes || jmax < kStencilNodes) {
        throw py::value_error(
            "imax and jmax must be at least 4 (the edge stencils reach three "
            "nodes inwards); got " +
            std::to_string(imax) + " x " + std::to_string(jmax));
    }
    if (!std::isfinite(lengthX) || lengthX <= 0.0) {
        throw py::value_error("length_x must be a positive, finite length in metres");
    }
    if (maxSteps < 0) {
        throw py::value_error("max_steps must not be negative");
    }
    const std::string what = "a " + std::to_string(imax) + " x " + std::to_string(jmax) + " mesh";
    CheckStorageFits(static_cast<std::size_t>(imax) * static_cast<std::size_t>(jmax),
                     sizeof(MeshNode), what.c_str());
}

int CheckedIndex(int index, int count, const char* name) {
    const int normalised = index < 0 ? index + count : index;
    if (normalised < 0 || normalised >= count) {
        throw py::index_error(std::string(name) + " = " + std::to_string(index) +
                              " is outside the mesh (" + std::to_string(count) + " nodes)");
    }
    return normalised;
}

const py::dtype& CachedNodeDtype() {
    // Built once and kept for the life of the process: a view needs it on every call.
    static const py::dtype* dtype = new py::dtype(MeshNodeDtype());
    return *dtype;
}

py::array_t<double> Coordinates(int count, double spacing) {
    py::array_t<double> values(count);
    double* out = values.mutable_data();
    for (int k = 0; k < count; ++k) {
        out[k] = k * spacing;
    }
    return values;
}

std::string FlowRepr(const char* name, double lengthX, int imax, int jmax, int maxSteps,
                     int stepCount) {
    return std::string(name) + "(imax=" + std::to_string(imax) + ", jmax=" + std::to_string(jmax) +
           ", length_x=" + py::repr(py::float_(lengthX)).cast<std::string>() +
           ", max_steps=" + std::to_string(maxSteps) + "), step_count=" + std::to_string(stepCount);
}

}  // namespace nembra_python
