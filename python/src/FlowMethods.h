// What every flow class of the binding shares: the solver with what the binding keeps beside
// it, construction checks, stepping without the GIL, reading the mesh, and the Python methods
// and properties defined on each class.
#pragma once

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "MeshLayout.h"
#include "Messages.h"
#include "Nembra/NavierStokesEquations2D.h"
#include "Nembra/SupersonicFlatPlate.h"
#include "SolverAccess.h"

namespace nembra_python {

namespace py = pybind11;

// The stencils reach three nodes in from each edge.
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

    // Makes the next call, which must be the laying one, lay these imax * jmax records (row by
    // row) instead of the solver's own initial field: the solver continues a saved one.
    void LayOnFirstCall(std::vector<MeshNode> records) { records_ = std::move(records); }
    bool LayingRecords() const { return !records_.empty(); }
    // The time step of the last call: the saved solver's until a continuing solver takes its
    // first step (its laying call computes none).
    double DeltaT() const {
        return laidRecords_ && this->GetStepCount() == 1 ? savedDeltaT : this->GetDeltaT();
    }

    SolverLock lock;
    double modelTime = 0.0;      // sum of the time steps taken, seconds
    long long valueReports = 0;  // "error:value'error" reports of every call so far
    // Calls a saved solver had made before the one this solver continues it from: the library
    // counts again from its laying call, so step_count and max_steps add this.
    int stepOffset = 0;
    double savedDeltaT = 0.0;  // the saved solver's last time step, s

protected:
    void InitializeMeshNodes2(MeshNode**& mesh) override {
        if (!LayingRecords()) {
            Solver::InitializeMeshNodes2(mesh);
            return;
        }
        int imax = 0;
        int jmax = 0;
        if (mesh == nullptr || mesh != this->GetMeshNodes(imax, jmax) ||
            records_.size() != static_cast<std::size_t>(imax) * static_cast<std::size_t>(jmax)) {
            return;
        }
        for (int i = 0; i < imax; ++i) {
            std::memcpy(mesh[i], &records_[static_cast<std::size_t>(i) * jmax],
                        sizeof(MeshNode) * static_cast<std::size_t>(jmax));
        }
        records_ = std::vector<MeshNode>();
        laidRecords_ = true;
    }
    // The records are the whole field: nothing is laid over them.
    void SetMeshNodesValues(MeshNode**& mesh) override {
        if (!laidRecords_) {
            Solver::SetMeshNodesValues(mesh);
        }
    }

private:
    std::vector<MeshNode> records_;
    bool laidRecords_ = false;
};

// ---------------------------------------------------------------------------------------------
// Construction

// Refuses, with ValueError or MemoryError, a mesh the library cannot work on.
void CheckMeshArguments(int imax, int jmax, double lengthX, int maxSteps);

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

// A case's C++ class name and the library's compiled-in setting, for its constructors.
struct CaseDefaults {
    const char* cppName;
    int imax;
    int jmax;
    double lengthX;
    int maxSteps;
};

// Host(), the library's compiled-in setting, and Host(imax, jmax, length_x, max_steps) with
// keyword arguments whose defaults are that setting.
template <class Host>
void DefineMeshConstructors(py::class_<Host>& c, const CaseDefaults& d) {
    const std::string cppName = d.cppName;
    c.def(py::init([d]() {
              const std::string what =
                  "a " + std::to_string(d.imax) + " x " + std::to_string(d.jmax) + " mesh";
              CheckStorageFits(static_cast<std::size_t>(d.imax) * static_cast<std::size_t>(d.jmax),
                               sizeof(MeshNode), what.c_str());
              return Constructed(std::make_unique<Host>(), d.imax, d.jmax);
          }),
          ("The library's compiled-in setting (" + cppName + "()).").c_str())
        .def(py::init([](int imax, int jmax, double lengthX, int maxSteps) {
                 CheckMeshArguments(imax, jmax, lengthX, maxSteps);
                 return Constructed(std::make_unique<Host>(imax, jmax, lengthX, maxSteps), imax,
                                    jmax);
             }),
             py::arg("imax") = d.imax, py::arg("jmax") = d.jmax, py::arg("length_x") = d.lengthX,
             py::arg("max_steps") = d.maxSteps,
             ("imax x jmax nodes over length_x metres, max_steps calls (" + cppName +
              "(imax, jmax, lengthX, maxStepCount)).")
                 .c_str());
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
    if constexpr (std::is_base_of_v<Nembra::SupersonicFlatPlate, Host>) {
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

// index, counted from the end when negative; IndexError outside [-count, count).
int CheckedIndex(int index, int count, const char* name);

// The dtype of a node record, built once for the life of the process.
const py::dtype& CachedNodeDtype();

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

// x or y of the nodes: k * spacing.
py::array_t<double> Coordinates(int count, double spacing);

// ---------------------------------------------------------------------------------------------
// Saving and continuing

// (step_count, model_time, delta_t, value_reports, mesh or None before the laying call, the
// flat plate's largest density change or None), read together. RuntimeError from the stepping
// thread's own hooks, which would see a step half done.
template <class Host>
py::tuple SavedState(Host& host) {
    ReadAccess access(host.lock);
    if (host.lock.stepping == std::this_thread::get_id()) {
        throw std::runtime_error("a hook cannot save the solver: the step under way is half done");
    }
    py::object mesh = py::none();
    if (host.GetStepCount() > 0) {
        mesh = CopyMesh(host.Mesh());
    }
    py::object densityChange = py::none();
    if constexpr (std::is_base_of_v<Nembra::SupersonicFlatPlate, Host>) {
        densityChange = py::float_(host.GetLargestDensityChange());
    }
    return py::make_tuple(host.GetStepCount() + host.stepOffset, host.modelTime, host.DeltaT(),
                          host.valueReports, mesh, densityChange);
}

// Makes a new solver continue a saved one that had made stepCount (>= 1) calls: its laying
// call lays the saved records, float64 (imax, jmax, 44), and the counts carry on. The solver
// must have been built with the saved step limit less stepCount - 1.
template <class Host>
void ContinueFrom(Host& host, const py::array& records, int stepCount, double modelTime,
                  double deltaT, long long valueReports, double densityChange) {
    using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
    StepAccess access(host.lock);
    const MeshView mesh = host.Mesh();
    if (host.GetStepCount() != 0 || mesh.rows == nullptr) {
        throw py::value_error("only a new solver can continue a saved one");
    }
    const Doubles values = Doubles::ensure(records);
    if (!values || values.ndim() != 3 || values.shape(0) != mesh.imax ||
        values.shape(1) != mesh.jmax || values.shape(2) != kSlotCount) {
        throw py::value_error("the saved mesh must be float64 (" + std::to_string(mesh.imax) +
                              ", " + std::to_string(mesh.jmax) + ", 44)");
    }
    if (stepCount < 1 || host.GetMaxStepCount() < 1) {
        throw py::value_error("a saved mesh needs a step count of at least 1 and a call left");
    }
    std::vector<MeshNode> nodes(static_cast<std::size_t>(mesh.imax) *
                                static_cast<std::size_t>(mesh.jmax));
    std::memcpy(nodes.data(), values.data(), nodes.size() * sizeof(MeshNode));
    host.LayOnFirstCall(std::move(nodes));
    host.UpdateDatas();
    host.stepOffset = stepCount - 1;
    host.modelTime = modelTime;
    host.savedDeltaT = deltaT;
    host.valueReports = valueReports;
    if constexpr (std::is_base_of_v<Nembra::SupersonicFlatPlate, Host>) {
        host.SetLargestDensityChange(densityChange);
    } else {
        (void)densityChange;
    }
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
            "step_count", [](Host& h) { return h.GetStepCount() + h.stepOffset; },
            "Calls that did work, the initializing one included (StepCount).")
        .def_property_readonly(
            "max_steps", [](Host& h) { return h.GetMaxStepCount() + h.stepOffset; },
            "The step limit: calls beyond it do nothing (MaxStepCount).")
        .def_property_readonly(
            "delta_t", [](Host& h) { return h.DeltaT(); },
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
            "x", [](Host& h) { return Coordinates(h.Mesh().imax, h.GetDeltaX()); },
            "x of the nodes, i * delta_x, m.")
        .def_property_readonly(
            "y", [](Host& h) { return Coordinates(h.Mesh().jmax, h.GetDeltaY()); },
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
             "A copy of node (i, j) as a NumPy record of dtype nembra.MESH_NODE.")
        .def("_saved_state", &SavedState<Host>)
        .def("_continue_from", &ContinueFrom<Host>, py::arg("records"), py::arg("step_count"),
             py::arg("model_time"), py::arg("delta_t"), py::arg("value_reports"),
             py::arg("density_change"));
}

// "Name(imax=..., jmax=..., length_x=..., max_steps=...), step_count=..."
std::string FlowRepr(const char* name, double lengthX, int imax, int jmax, int maxSteps,
                     int stepCount);
template <class Host>
std::string FlowRepr(const char* name, Host& s) {
    const MeshView mesh = s.Mesh();
    return FlowRepr(name, s.GetLengthX(), mesh.imax, mesh.jmax, s.GetMaxStepCount() + s.stepOffset,
                    s.GetStepCount() + s.stepOffset);
}

// __repr__ of a flow class with no settings beyond its mesh.
template <class Host>
void DefineRepr(py::class_<Host>& c, const char* name) {
    c.def("__repr__", [name](Host& s) { return FlowRepr(name, s); });
}

}  // namespace nembra_python
