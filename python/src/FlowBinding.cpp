// nembra.Flow (NavierStokesEquations2D, open to subclassing in Python) and nembra.FlatPlate
// (SupersonicFlatPlate).
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "Bindings.h"
#include "FlowMethods.h"
#include "Nembra/NavierStokesEquations2D.h"
#include "Nembra/SupersonicFlatPlate.h"

using Nembra::NavierStokesEquations2D;
using Nembra::SupersonicFlatPlate;

namespace nembra_python {
namespace {

// The closed box's hot block spans 11 nodes about the centre.
constexpr int kBlockNodes = 11;

using FlatPlateHost = Hosted<SupersonicFlatPlate>;

// The flow solver, whose initial field and edge values a Python subclass may replace by
// defining initial(u, v, T, p) and boundary(u, v, T, p, predicted).
class FlowHost : public Hosted<NavierStokesEquations2D> {
public:
    using Hosted::Hosted;

    // Looks for the hooks on the Python object; needs the GIL. Throws ValueError when the
    // library's own field does not fit the mesh.
    void PrepareHooks() {
        py::object self = py::cast(this, py::return_value_policy::reference);
        hasInitialHook_ = py::hasattr(self, "initial");
        hasBoundaryHook_ = py::hasattr(self, "boundary");
        const MeshView mesh = Mesh();
        if (GetStepCount() == 0 && !hasInitialHook_ && !LayingRecords() &&
            (mesh.imax < kBlockNodes || mesh.jmax < kBlockNodes)) {
            throw py::value_error("the default field's hot block is 11 x 11 nodes: a " +
                                  std::to_string(mesh.imax) + " x " + std::to_string(mesh.jmax) +
                                  " mesh needs an initial(u, v, T, p) hook of its own");
        }
    }

    // True when a hook raised during the last call; its error waits in RethrowHookError.
    bool HookFailed() const { return static_cast<bool>(hookError_); }
    void RethrowHookError() {
        if (hookError_) {
            std::exception_ptr error = hookError_;
            hookError_ = nullptr;
            std::rethrow_exception(error);
        }
    }

protected:
    void InitializeMeshNodes2(_MeshNode**& mesh) override {
        const bool continuing = LayingRecords();
        Hosted::InitializeMeshNodes2(mesh);
        if (hasInitialHook_ && !continuing) {
            CallHook(Hook::Initial);
        }
    }
    void SetMeshNodesValues(_MeshNode**& mesh) override {
        if (!hasInitialHook_) {
            Hosted::SetMeshNodesValues(mesh);
        }
    }
    void BoundaryConditions2(_MeshNode**& mesh) override {
        if (hasBoundaryHook_) {
            CallHook(Hook::Current);
        } else {
            NavierStokesEquations2D::BoundaryConditions2(mesh);
        }
    }
    void BoundaryConditionsProspect2(_MeshNode**& mesh) override {
        if (hasBoundaryHook_) {
            CallHook(Hook::Predicted);
        } else {
            NavierStokesEquations2D::BoundaryConditionsProspect2(mesh);
        }
    }

private:
    enum class Hook { Initial, Current, Predicted };

    struct Primitives {
        py::array_t<double> u, v, T, p;
    };

    static bool IsEdge(const MeshView& mesh, int i, int j) {
        return i == 0 || j == 0 || i == mesh.imax - 1 || j == mesh.jmax - 1;
    }

    // u, v, T, p of every node: the current state, or for the predicted state the predictor's
    // values inside and the current values on the edges, which the predictor leaves alone.
    static Primitives Gather(const MeshView& mesh, Hook hook) {
        const std::vector<py::ssize_t> shape{mesh.imax, mesh.jmax};
        Primitives q{py::array_t<double>(shape), py::array_t<double>(shape),
                     py::array_t<double>(shape), py::array_t<double>(shape)};
        double* u = q.u.mutable_data();
        double* v = q.v.mutable_data();
        double* T = q.T.mutable_data();
        double* p = q.p.mutable_data();
        for (int i = 0; i < mesh.imax; ++i) {
            for (int j = 0; j < mesh.jmax; ++j, ++u, ++v, ++T, ++p) {
                const MeshNode& n = mesh.rows[i][j];
                const bool predicted = hook == Hook::Predicted && !IsEdge(mesh, i, j);
                *u = predicted ? n.UProspect : n.U;
                *v = predicted ? n.VProspect : n.V;
                *T = predicted ? n.TProspect : n.T;
                *p = predicted ? n.PProspect : n.P;
            }
        }
        return q;
    }

    static bool Changed(double given, double held) {
        return std::memcmp(&given, &held, sizeof given) != 0;
    }

    // Completes, with the library's own node-state completion, every node the hook sets: all of
    // them for the initial field; for edge values every edge node and any interior node whose
    // values the hook changed.
    void Complete(const MeshView& mesh, const Primitives& q, Hook hook) {
        const double* u = q.u.data();
        const double* v = q.v.data();
        const double* T = q.T.data();
        const double* p = q.p.data();
        for (int i = 0; i < mesh.imax; ++i) {
            for (int j = 0; j < mesh.jmax; ++j, ++u, ++v, ++T, ++p) {
                MeshNode& n = mesh.rows[i][j];
                if (hook == Hook::Predicted) {
                    if (IsEdge(mesh, i, j) || Changed(*u, n.UProspect) ||
                        Changed(*v, n.VProspect) || Changed(*T, n.TProspect) ||
                        Changed(*p, n.PProspect)) {
                        SetMeshNodeValueProspect(n, *u, *v, *T, *p);
                    }
                } else if (hook == Hook::Initial || IsEdge(mesh, i, j) || Changed(*u, n.U) ||
                           Changed(*v, n.V) || Changed(*T, n.T) || Changed(*p, n.P)) {
                    SetMeshNodeValue(n, *u, *v, *T, *p);
                }
            }
        }
    }

    // Runs one Python hook with the GIL. An exception is kept for step(), which stops after the
    // call under way; the hooks of the rest of that call are skipped.
    void CallHook(Hook hook) {
        if (hookError_) {
            return;
        }
        py::gil_scoped_acquire gil;
        try {
            const MeshView mesh = Mesh();
            const Primitives q = Gather(mesh, hook);
            py::object self = py::cast(this, py::return_value_policy::reference);
            if (hook == Hook::Initial) {
                self.attr("initial")(q.u, q.v, q.T, q.p);
            } else {
                self.attr("boundary")(q.u, q.v, q.T, q.p, hook == Hook::Predicted);
            }
            Complete(mesh, q, hook);
        } catch (...) {
            hookError_ = std::current_exception();
        }
    }

    bool hasInitialHook_ = false;
    bool hasBoundaryHook_ = false;
    std::exception_ptr hookError_;
};

SupersonicFlatPlate::WallCondition ParseWall(const std::string& wall) {
    if (wall == "isothermal") {
        return SupersonicFlatPlate::WallCondition::Isothermal;
    }
    if (wall == "adiabatic") {
        return SupersonicFlatPlate::WallCondition::Adiabatic;
    }
    throw py::value_error("wall must be 'isothermal' or 'adiabatic', not '" + wall + "'");
}

const char* WallName(SupersonicFlatPlate::WallCondition wall) {
    return wall == SupersonicFlatPlate::WallCondition::Adiabatic ? "adiabatic" : "isothermal";
}

}  // namespace

void BindFlow(py::module_& m) {
    py::class_<FlowHost> flow(m, "Flow", R"doc(
The 2-D compressible, viscous, heat-conducting flow solver (Nembra::NavierStokesEquations2D):
MacCormack's predictor-corrector scheme, Sutherland viscosity, a Courant-limited time step.

Flow() is the library's compiled-in setting: 70 x 70 nodes over a 1e-5 m long box, a 10000-call
limit, and a field of air at rest at 288.16 K and 101325 Pa with a hot block moving at 6400 m/s
at its centre. Flow(imax, jmax, length_x, max_steps) sets the mesh and the limit.

Custom problems: subclass Flow and define either or both of
    initial(self, u, v, T, p)              the initial field
    boundary(self, u, v, T, p, predicted)  the edge values after each stage of a step
Each receives new float64 arrays (imax, jmax) of x- and y-velocity (m/s), temperature (K) and
pressure (Pa) to change in place. initial gets the library's field at rest; every node is then
completed (density, momenta, energies, viscosity, conductivity) by the library's node-state
completion (SetMeshNodeValue). boundary gets the state as it stands: the new state after the
step (predicted False) or, in the middle of the step, the predicted state inside and the
current values on the edges (predicted True); every edge node is completed from the arrays, and
so is any interior node whose values the hook changed. A subclass without initial() keeps the
library's field, one without boundary() the library's closed box (walls at rest at 288.16 K and
101325 Pa). An exception in a hook ends step() after the call under way and is raised from it.
)doc");
    DefineMeshConstructors(flow, {"NavierStokesEquations2D", 70, 70, 1e-5, 10000});
    DefineRepr(flow, "Flow");
    DefineFlowMethods(flow);

    py::class_<FlatPlateHost> plate(m, "FlatPlate", R"doc(
Mach 4 flow of sea-level air over a flat plate along the lower edge (Nembra::SupersonicFlatPlate),
the classic validation case of MacCormack's scheme: free stream through the left and upper
edges, extrapolated outflow on the right, a no-slip wall that is 'isothermal' (at the
free-stream temperature) or 'adiabatic'. run(until_converged=1e-8) runs it to a steady state.
)doc");
    plate
        .def(py::init([](const std::string& wall) {
                 const auto condition = ParseWall(wall);
                 CheckStorageFits(70 * 70, sizeof(MeshNode) + sizeof(double), "a 70 x 70 mesh");
                 return Constructed(std::make_unique<FlatPlateHost>(condition), 70, 70);
             }),
             py::arg("wall") = "isothermal",
             "The compiled-in 70 x 70 setting (SupersonicFlatPlate(wall)).")
        .def(
            py::init([](int imax, int jmax, double lengthX, int maxSteps, const std::string& wall) {
                const auto condition = ParseWall(wall);
                CheckMeshArguments(imax, jmax, lengthX, maxSteps);
                return Constructed(
                    std::make_unique<FlatPlateHost>(imax, jmax, lengthX, maxSteps, condition), imax,
                    jmax);
            }),
            py::arg("imax") = 70, py::arg("jmax") = 70, py::arg("length_x") = 1e-5,
            py::arg("max_steps") = 10000, py::arg("wall") = "isothermal",
            "imax x jmax nodes over a plate length_x metres long, max_steps calls "
            "(SupersonicFlatPlate(imax, jmax, lengthX, maxStepCount, wall)).")
        .def_property(
            "wall", [](FlatPlateHost& p) { return WallName(p.GetWallCondition()); },
            [](FlatPlateHost& p, const std::string& wall) {
                const auto condition = ParseWall(wall);
                ReadAccess access(p.lock);
                p.SetWallCondition(condition);
            },
            "'isothermal' or 'adiabatic' (Get/SetWallCondition); a change takes effect from the "
            "next step.")
        .def_property_readonly(
            "density_change", [](FlatPlateHost& p) { return p.GetLargestDensityChange(); },
            "Largest |rho_new - rho_old| of the last time step, kg/m^3 "
            "(GetLargestDensityChange): inf before the first step, NaN once a density is "
            "unusable.")
        .def("__repr__", [](FlatPlateHost& s) {
            return FlowRepr("FlatPlate", s) + ", wall='" + WallName(s.GetWallCondition()) + "'";
        });
    DefineFlowMethods(plate);
}

}  // namespace nembra_python
