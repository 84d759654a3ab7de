// nembra.Flow (NavierStokesEquations2D, open to subclassing in Python) and nembra.FlatPlate
// (SupersonicFlatPlate).
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "Bindings.h"
#include "MeshLayout.h"
#include "Messages.h"
#include "Nembra/NavierStokesEquations2D.h"
#include "Nembra/SupersonicFlatPlate.h"
#include "SolverAccess.h"

namespace py = pybind11;
using Nembra::NavierStokesEquations2D;
using Nembra::SupersonicFlatPlate;

namespace nembra_python {
namespace {

// The closed box's hot block spans 11 nodes about the centre; the stencils reach three nodes in.
constexpr int kBlockNodes = 11;
constexpr int kStencilNodes = 4;

// A solver with what the binding keeps beside it.
template <class Solver>
class Hosted : public Solver {
public:
    using Solver::Solver;

    MeshView Mesh() {
        MeshView view;
        view.rows = this->GetMeshNodes(view.imax, view.jmax);
        return view;
    }

    // A solver without Python hooks has nothing to prepare and nothing to report; FlowHost hides
    // these with its own.
    void PrepareHooks() {}
    bool HookFailed() const { return false; }
    void RethrowHookError() {}

    SolverLock lock;
    double modelTime = 0.0;      // sum of the time steps taken, seconds
    long long valueReports = 0;  // "error:value'error" reports of every call so far
};

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
        if (GetStepCount() == 0 && !hasInitialHook_ &&
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
        NavierStokesEquations2D::InitializeMeshNodes2(mesh);
        if (hasInitialHook_) {
            CallHook(Hook::Initial);
        }
    }
    void SetMeshNodesValues(_MeshNode**& mesh) override {
        if (!hasInitialHook_) {
            NavierStokesEquations2D::SetMeshNodesValues(mesh);
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

// ---------------------------------------------------------------------------------------------
// Construction

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

// After construction: the library's allocation messages become warnings, and a solver left
// without its mesh becomes MemoryError.
template <class Host>
std::unique_ptr<Host> Constructed(std::unique_ptr<Host> host, int imax, int jmax) {
    WarnAllocationMessages();
    if (host->Mesh().rows == nullptr && imax > 0 && jmax > 0) {
        PyErr_SetString(PyExc_MemoryError, ("the " + std::to_string(imax) + " x " +
                                            std::to_string(jmax) + " mesh could not be allocated")
                                               .c_str());
        throw py::error_already_set();
    }
    return host;
}

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

// ---------------------------------------------------------------------------------------------
// Stepping

// Nodes the library's value check reports before the next call: rows 0..IMax-2, nodes
// 0..JMax-2, one report per node with an infinite or NaN density, velocity, energy,
// conductivity, viscosity or pressure. None before the initializing call or at the limit.
template <class Host>
long long ReportsOfNextCall(Host& host) {
    const MeshView mesh = host.Mesh();
    if (host.GetStepCount() < 1 || host.GetStepCount() >= host.GetMaxStepCount() ||
        mesh.rows == nullptr) {
        return 0;
    }
    long long reports = 0;
    for (int i = 0; i < mesh.imax - 1; ++i) {
        for (int j = 0; j < mesh.jmax - 1; ++j) {
            const MeshNode& n = mesh.rows[i][j];
            const bool usable = std::isfinite(n.Rho) && std::isfinite(n.U) && std::isfinite(n.V) &&
                                std::isfinite(n.Et) && std::isfinite(n.Eint) &&
                                std::isfinite(n.K) && std::isfinite(n.Mu) && std::isfinite(n.P);
            reports += usable ? 0 : 1;
        }
    }
    return reports;
}

struct Advanced {
    long long calls = 0;
    const char* reason = "calls";  // calls, limit, time, converged
};

constexpr double kNoTarget = std::numeric_limits<double>::quiet_NaN();

template <class Host>
bool Converged(Host& host, double tolerance) {
    if constexpr (std::is_base_of_v<SupersonicFlatPlate, Host>) {
        return host.GetLargestDensityChange() < tolerance;
    } else {
        (void)host;
        (void)tolerance;
        return false;
    }
}

// Calls UpdateDatas up to `calls` times without the GIL, stopping early at the step limit, when
// the model time reaches untilTime or when the flat plate's largest density change falls below
// tolerance (NaN: no such target).
template <class Host>
Advanced Advance(Host& host, long long calls, double untilTime, double tolerance) {
    if (calls < 0) {
        throw py::value_error("calls must not be negative");
    }
    StepAccess access(host.lock);
    host.PrepareHooks();
    Advanced result;
    const long long reportsBefore = host.valueReports;
    {
        py::gil_scoped_release release;
        InterruptCheck interrupt;
        while (true) {
            if (!std::isnan(untilTime) && host.modelTime >= untilTime) {
                result.reason = "time";
                break;
            }
            if (result.calls >= calls) {
                break;
            }
            if (host.GetStepCount() >= host.GetMaxStepCount() || host.Mesh().rows == nullptr) {
                result.reason = "limit";
                break;
            }
            host.valueReports += ReportsOfNextCall(host);
            const bool advancing = host.GetStepCount() >= 1;
            host.UpdateDatas();
            ++result.calls;
            if (advancing) {
                host.modelTime += host.GetDeltaT();
            }
            if (host.HookFailed()) {
                break;
            }
            if (!std::isnan(tolerance) && advancing && Converged(host, tolerance)) {
                result.reason = "converged";
                break;
            }
            interrupt.Poll();
        }
    }
    host.RethrowHookError();
    const long long reports = host.valueReports - reportsBefore;
    if (reports > 0) {
        WarnValueReports(std::to_string(reports) +
                         " node value(s) were infinite or NaN before a time step (the library "
                         "wrote \"error:value'error\" for each)");
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// Reading the mesh

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

template <class Host>
py::array RowView(py::object self, int i) {
    Host& host = self.cast<Host&>();
    ReadAccess access(host.lock);
    const MeshView mesh = host.Mesh();
    const int row = CheckedIndex(i, mesh.imax, "i");
    // The solver object is the view's base: the row lives as long as the view does, and the
    // library never moves or frees a row while the solver lives.
    return py::array(CachedNodeDtype(), {static_cast<py::ssize_t>(mesh.jmax)},
                     {static_cast<py::ssize_t>(sizeof(MeshNode))}, mesh.rows[row], self);
}

template <class Host>
py::object NodeCopy(Host& host, int i, int j) {
    ReadAccess access(host.lock);
    const MeshView mesh = host.Mesh();
    const MeshNode& node =
        mesh.rows[CheckedIndex(i, mesh.imax, "i")][CheckedIndex(j, mesh.jmax, "j")];
    py::array record(CachedNodeDtype(), std::vector<py::ssize_t>{1});
    std::memcpy(record.mutable_data(), &node, sizeof node);
    return record[py::int_(0)];
}

template <class Host>
py::array_t<double> Field(Host& host, const std::string& name) {
    const FieldRequest request = FindField(name);
    ReadAccess access(host.lock);
    const MeshView mesh = host.Mesh();
    if (request.slot >= 0) {
        return GatherSlot(mesh, request.slot);
    }
    return GatherDerived(mesh, request.derived, host.GetGamma(), host.GetGasConstant());
}

template <class Host>
py::array_t<double> Coordinates(int count, double spacing) {
    py::array_t<double> values(count);
    double* out = values.mutable_data();
    for (int k = 0; k < count; ++k) {
        out[k] = k * spacing;
    }
    return values;
}

// ---------------------------------------------------------------------------------------------
// The methods both flow classes share

template <class Host, class... Extra>
void DefineFlowMethods(py::class_<Host, Extra...>& c) {
    c.def(
         "step",
         [](Host& host, long long calls) {
             return Advance(host, calls, kNoTarget, kNoTarget).calls;
         },
         py::arg("calls") = 1,
         "Calls the solver's UpdateDatas `calls` times (the first call of a new solver lays the\n"
         "initial field, every later one takes one time step) and returns how many calls did\n"
         "work: fewer once step_count reaches max_steps. Other Python threads run meanwhile.")
        .def(
            "_advance",
            [](Host& host, long long calls, double untilTime, double tolerance) {
                const Advanced done = Advance(host, calls, untilTime, tolerance);
                return py::make_tuple(done.calls, done.reason);
            },
            py::arg("calls"), py::arg("until_time") = kNoTarget, py::arg("tolerance") = kNoTarget)
        .def_property_readonly(
            "step_count", [](Host& h) { return h.GetStepCount(); },
            "Calls that did work, the initializing one included (StepCount).")
        .def_property_readonly(
            "max_steps", [](Host& h) { return h.GetMaxStepCount(); },
            "The step limit: calls beyond it do nothing (MaxStepCount).")
        .def_property_readonly(
            "delta_t", [](Host& h) { return h.GetDeltaT(); },
            "The time step of the last call, s (DeltaT; 0 before the first time step).")
        .def_property_readonly(
            "model_time", [](Host& h) { return h.modelTime; },
            "The sum of the time steps taken so far, s.")
        .def_property_readonly(
            "value_reports", [](Host& h) { return h.valueReports; },
            "How many times the library has written \"error:value'error\" for this solver.")
        .def_property_readonly(
            "imax", [](Host& h) { return h.Mesh().imax; }, "Nodes along x (IMax).")
        .def_property_readonly(
            "jmax", [](Host& h) { return h.Mesh().jmax; }, "Nodes along y (JMax).")
        .def_property_readonly(
            "shape",
            [](Host& h) {
                const MeshView m = h.Mesh();
                return py::make_tuple(m.imax, m.jmax);
            },
            "(imax, jmax), the shape of every field.")
        .def_property_readonly(
            "delta_x", [](Host& h) { return h.GetDeltaX(); }, "Mesh spacing along x, m (DeltaX).")
        .def_property_readonly(
            "delta_y", [](Host& h) { return h.GetDeltaY(); }, "Mesh spacing along y, m (DeltaY).")
        .def_property_readonly(
            "length_x", [](Host& h) { return h.GetLengthX(); }, "Domain length, m (LengthX).")
        .def_property_readonly(
            "length_y", [](Host& h) { return h.GetLengthY(); }, "Domain height, m (LengthY).")
        .def_property_readonly(
            "x", [](Host& h) { return Coordinates<Host>(h.Mesh().imax, h.GetDeltaX()); },
            "x of the nodes, i * delta_x, m.")
        .def_property_readonly(
            "y", [](Host& h) { return Coordinates<Host>(h.Mesh().jmax, h.GetDeltaY()); },
            "y of the nodes, j * delta_y, m.")
        .def_property_readonly(
            "u_inf", [](Host& h) { return h.GetUInf(); }, "Free-stream velocity, m/s (UInf).")
        .def_property_readonly(
            "t_inf", [](Host& h) { return h.GetTInf(); }, "Free-stream temperature, K (TInf).")
        .def_property_readonly(
            "p_inf", [](Host& h) { return h.GetPInf(); }, "Free-stream pressure, Pa (PInf).")
        .def_property_readonly(
            "rho_inf", [](Host& h) { return h.GetRhoInf(); },
            "Free-stream density, kg/m^3 (RhoInf).")
        .def_property_readonly(
            "mach_inf", [](Host& h) { return h.GetMachInf(); },
            "Free-stream Mach number (MachInf).")
        .def_property_readonly(
            "reynolds_l", [](Host& h) { return h.GetReynoldsL(); },
            "Reynolds number on length_x (ReynoldsL).")
        .def_property_readonly(
            "gamma", [](Host& h) { return h.GetGamma(); }, "Ratio of specific heats (Gamma).")
        .def_property_readonly(
            "gas_constant", [](Host& h) { return h.GetGasConstant(); },
            "Specific gas constant, J/(kg K) (GasConstant).")
        .def_property_readonly(
            "cv", [](Host& h) { return h.GetCv(); }, "Cv, J/(kg K).")
        .def_property_readonly(
            "cp", [](Host& h) { return h.GetCp(); }, "Cp, J/(kg K).")
        .def_property_readonly(
            "prandtl", [](Host& h) { return h.GetPrandtl(); }, "Prandtl number (Prandtl).")
        .def_property_readonly(
            "courant", [](Host& h) { return h.GetCourant(); },
            "Courant factor of the time step (Courant).")
        .def("field", &Field<Host>, py::arg("name"),
             "A new float64 array (imax, jmax) of one quantity: any of the 44 slots by its\n"
             "name in nembra.SLOTS (Python or library name: 'rho' or 'Rho', 'flux_e2' or\n"
             "'FluxE[2]'), or 'speed' or 'mach' (speed over sqrt(gamma R T)).")
        .def(
            "mesh",
            [](Host& h) {
                ReadAccess access(h.lock);
                return CopyMesh(h.Mesh());
            },
            "A new structured array (imax, jmax) of dtype nembra.MESH_NODE: every slot of every\n"
            "node. The library keeps each row in a separate allocation, so a copy is the only\n"
            "way to have the whole mesh as one array; row(i) is the zero-copy way in.")
        .def("row", &RowView<Host>, py::arg("i"),
             "A zero-copy structured view (jmax,) of row i of the live mesh (GetMeshNodes): it\n"
             "changes as the solver steps, and keeps the solver alive while it exists. Read it\n"
             "between steps; writing to it changes the solver's state.")
        .def("node", &NodeCopy<Host>, py::arg("i"), py::arg("j"),
             "A copy of node (i, j) as a NumPy record of dtype nembra.MESH_NODE.");
}

std::string FlowRepr(const char* name, NavierStokesEquations2D& s, int imax, int jmax) {
    return std::string(name) + "(imax=" + std::to_string(imax) + ", jmax=" + std::to_string(jmax) +
           ", length_x=" + py::repr(py::float_(s.GetLengthX())).cast<std::string>() +
           ", max_steps=" + std::to_string(s.GetMaxStepCount()) +
           "), step_count=" + std::to_string(s.GetStepCount());
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
    flow.def(py::init([]() {
                 CheckStorageFits(70 * 70, sizeof(MeshNode), "a 70 x 70 mesh");
                 return Constructed(std::make_unique<FlowHost>(), 70, 70);
             }),
             "The library's compiled-in setting (NavierStokesEquations2D()).")
        .def(py::init([](int imax, int jmax, double lengthX, int maxSteps) {
                 CheckMeshArguments(imax, jmax, lengthX, maxSteps);
                 return Constructed(std::make_unique<FlowHost>(imax, jmax, lengthX, maxSteps), imax,
                                    jmax);
             }),
             py::arg("imax") = 70, py::arg("jmax") = 70, py::arg("length_x") = 1e-5,
             py::arg("max_steps") = 10000,
             "imax x jmax nodes over length_x metres, max_steps calls "
             "(NavierStokesEquations2D(imax, jmax, lengthX, maxStepCount)).")
        .def("__repr__", [](FlowHost& s) {
            const MeshView mesh = s.Mesh();
            return FlowRepr("Flow", s, mesh.imax, mesh.jmax);
        });
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
            const MeshView mesh = s.Mesh();
            return FlowRepr("FlatPlate", s, mesh.imax, mesh.jmax) + ", wall='" +
                   WallName(s.GetWallCondition()) + "'";
        });
    DefineFlowMethods(plate);
}

}  // namespace nembra_python
