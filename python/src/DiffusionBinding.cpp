// nembra.Diffusion (DiffusionEquation).
#include <cstddef>
#include <limits>
#include <memory>
#include <string>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "Bindings.h"
#include "Nembra/DiffusionEquation.h"
#include "SolverAccess.h"

namespace py = pybind11;
using Nembra::DiffusionEquation;

namespace nembra_python {
namespace {

class DiffusionHost : public DiffusionEquation {
public:
    using DiffusionEquation::DiffusionEquation;

    SolverLock lock;
    long long steps = 0;  // UpdateDatas calls; the library's own TimeStepCount stays 0
};

py::array_t<double> Profile(DiffusionHost& d) {
    ReadAccess access(d.lock);
    const int count = d.GetSamplingPoints();
    py::array_t<double> values(count);
    double* out = values.mutable_data();
    for (int k = 0; k < count; ++k) {
        out[k] = d.GetSamplingPointsValue(k);
    }
    return values;
}

void SetProfile(DiffusionHost& d, const py::array_t<double, py::array::forcecast>& values) {
    ReadAccess access(d.lock);
    const int count = d.GetSamplingPoints();
    if (values.ndim() != 1 || values.shape(0) != count) {
        throw py::value_error("the profile takes exactly sampling_points = " +
                              std::to_string(count) + " values in a 1-D array");
    }
    const auto in = values.unchecked<1>();
    for (int k = 0; k < count; ++k) {
        d.SetSamplingPointsValue(k, in(k));
    }
}

long long Step(DiffusionHost& d, long long calls) {
    if (calls < 0) {
        throw py::value_error("calls must not be negative");
    }
    StepAccess access(d.lock);
    py::gil_scoped_release release;
    InterruptCheck interrupt;
    for (long long call = 0; call < calls; ++call) {
        d.UpdateDatas();
        ++d.steps;
        interrupt.Poll();
    }
    return calls;
}

std::unique_ptr<DiffusionHost> MakeDiffusion(double timeInterval, double coordinateStepSize,
                                             int segments, double beta) {
    // The library refuses segments < 1 with std::invalid_argument, which becomes ValueError.
    if (segments < std::numeric_limits<int>::max()) {
        CheckStorageFits(static_cast<std::size_t>(segments) + 1, sizeof(double), "the profile");
    }
    return std::make_unique<DiffusionHost>(timeInterval, coordinateStepSize, segments, beta);
}

}  // namespace

void BindDiffusion(py::module_& m) {
    py::class_<DiffusionHost>(m, "Diffusion", R"doc(
The 1-D diffusion (heat) equation df/dt = beta d2f/dx2 by forward-time, centred-space steps on
segments + 1 points with zero-gradient ends (Nembra::DiffusionEquation).

The diffusion number A = beta dt / dx^2 is computed at construction and by
change_const_value_a(); setting beta or coordinate_step_size does not recompute it. The scheme
is stable for A <= 0.5; the library does not check it.
)doc")
        .def(py::init([]() { return std::make_unique<DiffusionHost>(); }),
             "300 segments, dt = 0.1, dx = 1.0, beta = 1.0, a zero profile "
             "(DiffusionEquation()).")
        .def(py::init(&MakeDiffusion), py::arg("time_interval") = 0.1,
             py::arg("coordinate_step_size") = 1.0, py::arg("segments") = 300,
             py::arg("beta") = 1.0,
             "DiffusionEquation(timeInterval, coordinateStepSize, segments, beta); "
             "ValueError when segments < 1.")
        .def("step", &Step, py::arg("calls") = 1,
             "Calls UpdateDatas `calls` times, one time step each, without the GIL; returns the "
             "number of calls.")
        .def_property_readonly(
            "step_count", [](DiffusionHost& d) { return d.steps; },
            "Time steps taken through this object.")
        .def_property_readonly(
            "time_step_count", [](DiffusionHost& d) { return d.GetTimeStepCount(); },
            "The library's TimeStepCount (GetTimeStepCount), which no step advances: always 0.")
        .def_property_readonly(
            "model_time",
            [](DiffusionHost& d) { return static_cast<double>(d.steps) * d.GetTimeInterval(); },
            "step_count * time_interval, s.")
        .def_property_readonly(
            "time_interval", [](DiffusionHost& d) { return d.GetTimeInterval(); },
            "The time step dt (GetTimeInterval).")
        .def_property(
            "coordinate_step_size", [](DiffusionHost& d) { return d.GetCoordinateStepSize(); },
            [](DiffusionHost& d, double dx) {
                ReadAccess access(d.lock);
                d.SetCoordinateStepSize(dx);
            },
            "The grid spacing dx (Get/SetCoordinateStepSize); setting it keeps the diffusion "
            "number until change_const_value_a().")
        .def_property(
            "beta", [](DiffusionHost& d) { return d.GetBeta(); },
            [](DiffusionHost& d, double beta) {
                ReadAccess access(d.lock);
                d.SetBeta(beta);
            },
            "The diffusion coefficient (Get/SetBeta); setting it keeps the diffusion number "
            "until change_const_value_a().")
        .def_property_readonly(
            "segments", [](DiffusionHost& d) { return d.GetSegments(); },
            "Grid intervals (GetSegments).")
        .def_property_readonly(
            "sampling_points", [](DiffusionHost& d) { return d.GetSamplingPoints(); },
            "Grid points, segments + 1 (GetSamplingPoints).")
        .def_property_readonly(
            "diffusion_number", [](DiffusionHost& d) { return d.GetConstValue_A(); },
            "A = beta dt / dx^2 as last computed (ConstValue_A).")
        .def(
            "change_const_value_a",
            [](DiffusionHost& d) {
                ReadAccess access(d.lock);
                d.ChangeConstValue_A();
            },
            "Recomputes the diffusion number from beta, dt and dx (ChangeConstValue_A).")
        .def_property("profile", &Profile, &SetProfile,
                      "The profile f at every point: reading gives a new float64 array, "
                      "assigning takes exactly sampling_points values "
                      "(Get/SetSamplingPointsValue).")
        .def(
            "value",
            [](DiffusionHost& d, int index) {
                ReadAccess access(d.lock);
                return d.GetSamplingPointsValue(index);
            },
            py::arg("index"),
            "f at one point (GetSamplingPointsValue): 0.0 outside [0, sampling_points).")
        .def(
            "set_value",
            [](DiffusionHost& d, int index, double value) {
                ReadAccess access(d.lock);
                d.SetSamplingPointsValue(index, value);
            },
            py::arg("index"), py::arg("value"),
            "Sets f at one point (SetSamplingPointsValue): outside [0, sampling_points) it does "
            "nothing.")
        .def("__repr__", [](DiffusionHost& d) {
            return "Diffusion(time_interval=" +
                   py::repr(py::float_(d.GetTimeInterval())).cast<std::string>() +
                   ", coordinate_step_size=" +
                   py::repr(py::float_(d.GetCoordinateStepSize())).cast<std::string>() +
                   ", segments=" + std::to_string(d.GetSegments()) +
                   ", beta=" + py::repr(py::float_(d.GetBeta())).cast<std::string>() + ")";
        });
}

}  // namespace nembra_python
