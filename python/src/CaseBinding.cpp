// nembra.ShockTube (ShockTube), nembra.BlastWave (BlastWave) and nembra.ExactRiemannSolution,
// the inviscid answer the shock tube is compared with.
#include <memory>
#include <string>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "Bindings.h"
#include "FlowMethods.h"
#include "Nembra/BlastWave.h"
#include "Nembra/ExactRiemannSolution.h"
#include "Nembra/ShockTube.h"

using Nembra::BlastWave;
using Nembra::ExactRiemannSolution;
using Nembra::ShockTube;

namespace nembra_python {
namespace {

using ShockTubeHost = Hosted<ShockTube>;
using BlastWaveHost = Hosted<BlastWave>;
using State = ExactRiemannSolution::State;

// ---------------------------------------------------------------------------------------------
// ExactRiemannSolution

// A State, or any sequence of three real numbers (density, velocity, pressure).
State ToState(const py::handle& value, const char* side) {
    if (py::isinstance<State>(value)) {
        return value.cast<State>();
    }
    const std::string wanted = std::string(side) +
                               " must be an ExactRiemannSolution.State or a sequence of three "
                               "numbers (density, velocity, pressure)";
    if (!py::isinstance<py::sequence>(value) || py::isinstance<py::str>(value) ||
        py::len(value) != 3) {
        throw py::type_error(wanted);
    }
    const py::sequence items = py::reinterpret_borrow<py::sequence>(value);
    for (const py::handle item : items) {
        if (!py::isinstance<py::float_>(item) && !py::isinstance<py::int_>(item) &&
            !py::hasattr(item, "__float__")) {
            throw py::type_error(wanted);
        }
    }
    return State{items[0].cast<double>(), items[1].cast<double>(), items[2].cast<double>()};
}

std::string StateRepr(const State& s) {
    const auto number = [](double v) { return py::repr(py::float_(v)).cast<std::string>(); };
    return "State(density=" + number(s.Density) + ", velocity=" + number(s.Velocity) +
           ", pressure=" + number(s.Pressure) + ")";
}

// x or t as float64 values; TypeError for anything that is not real numbers.
py::array RealValues(const py::object& values, const char* name) {
    const py::module_ numpy = py::module_::import("numpy");
    const py::array array = numpy.attr("asarray")(values);
    const char kind = array.dtype().kind();
    if (kind != 'f' && kind != 'i' && kind != 'u' && kind != 'b') {
        throw py::type_error(std::string(name) +
                             " must be real numbers (a float, an int or an "
                             "array of them), not " +
                             py::str(array.dtype()).cast<std::string>());
    }
    return array;
}

// The namedtuple (density, velocity, pressure) that sample() returns; made once.
const py::object& SampleType() {
    static const py::object* type = new py::object(
        py::module_::import("collections")
            .attr("namedtuple")("RiemannSample", py::make_tuple("density", "velocity", "pressure"),
                                py::arg("module") = "nembra"));
    return *type;
}

// The exact state at every (x, t) of the broadcast arrays, without the GIL; plain floats when
// both are scalars.
py::object Sample(const ExactRiemannSolution& exact, const py::object& x, const py::object& t) {
    using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
    const py::tuple both = py::module_::import("numpy").attr("broadcast_arrays")(
        RealValues(x, "x"), RealValues(t, "t"));
    const Doubles xs = Doubles::ensure(both[0]);
    const Doubles ts = Doubles::ensure(both[1]);
    if (!xs || !ts) {
        throw py::error_already_set();
    }
    const std::vector<py::ssize_t> shape(xs.shape(), xs.shape() + xs.ndim());
    Doubles density(shape);
    Doubles velocity(shape);
    Doubles pressure(shape);
    {
        const double* xv = xs.data();
        const double* tv = ts.data();
        double* rho = density.mutable_data();
        double* u = velocity.mutable_data();
        double* p = pressure.mutable_data();
        const py::ssize_t count = xs.size();
        py::gil_scoped_release release;
        for (py::ssize_t k = 0; k < count; ++k) {
            const State s = exact.Sample(xv[k], tv[k]);
            rho[k] = s.Density;
            u[k] = s.Velocity;
            p[k] = s.Pressure;
        }
    }
    if (shape.empty()) {
        return SampleType()(density.data()[0], velocity.data()[0], pressure.data()[0]);
    }
    return SampleType()(density, velocity, pressure);
}

void BindExactRiemannSolution(py::module_& m) {
    py::class_<ExactRiemannSolution> exact(m, "ExactRiemannSolution", R"doc(
The exact solution of the Riemann problem of the 1-D Euler equations for a perfect gas
(Nembra::ExactRiemannSolution): two uniform states separated at t = 0 by a diaphragm at
x = diaphragm. For t > 0 a left wave (shock or rarefaction fan), a contact and a right wave
separate four uniform regions; the star pressure is found by Newton iteration to rounding.

ExactRiemannSolution(left, right, gamma, diaphragm=0.0): left and right are
ExactRiemannSolution.State objects or (density, velocity, pressure) sequences, in any
consistent units (SI for a ShockTube's). ShockTube.exact_solution() gives the tube's own.
sample(x, t) evaluates it on arrays.
)doc");

    py::class_<State>(exact, "State", "Primitive state of the gas (ExactRiemannSolution::State).")
        .def(py::init([](double density, double velocity, double pressure) {
                 return State{density, velocity, pressure};
             }),
             py::arg("density"), py::arg("velocity"), py::arg("pressure"))
        .def_readonly("density", &State::Density, "Density (Density).")
        .def_readonly("velocity", &State::Velocity, "Velocity along x (Velocity).")
        .def_readonly("pressure", &State::Pressure, "Pressure (Pressure).")
        .def("__iter__",
             [](const State& s) {
                 return py::iter(py::make_tuple(s.Density, s.Velocity, s.Pressure));
             })
        .def("__eq__",
             [](const State& a, const State& b) {
                 return a.Density == b.Density && a.Velocity == b.Velocity &&
                        a.Pressure == b.Pressure;
             })
        .def("__repr__", &StateRepr);

    exact
        .def(py::init([](const py::object& left, const py::object& right, double gamma,
                         double diaphragm) {
                 return ExactRiemannSolution(ToState(left, "left"), ToState(right, "right"), gamma,
                                             diaphragm);
             }),
             py::arg("left"), py::arg("right"), py::arg("gamma"), py::arg("diaphragm") = 0.0,
             "Solves the problem (ExactRiemannSolution(left, right, gamma, diaphragm)). "
             "ValueError when a density or pressure is not positive and finite, a velocity not "
             "finite, gamma not above 1, or the states would pull a vacuum between them.")
        .def("sample", &Sample, py::arg("x"), py::arg("t"),
             "The gas at positions x and times t (Sample), broadcast against each other as NumPy\n"
             "does: a RiemannSample(density, velocity, pressure) of new float64 arrays of the\n"
             "broadcast shape, or of floats when x and t are both scalars. For t <= 0 the\n"
             "initial states; at a discontinuity the state behind the wave.")
        .def_property_readonly("left", &ExactRiemannSolution::GetLeft,
                               "The left initial state (GetLeft).")
        .def_property_readonly("right", &ExactRiemannSolution::GetRight,
                               "The right initial state (GetRight).")
        .def_property_readonly("gamma", &ExactRiemannSolution::GetGamma,
                               "Ratio of specific heats (GetGamma).")
        .def_property_readonly("diaphragm", &ExactRiemannSolution::GetDiaphragm,
                               "x of the diaphragm at t = 0 (GetDiaphragm).")
        .def_property_readonly("star_pressure", &ExactRiemannSolution::GetStarPressure,
                               "Pressure between the two waves (GetStarPressure).")
        .def_property_readonly("star_velocity", &ExactRiemannSolution::GetStarVelocity,
                               "Velocity between the two waves (GetStarVelocity).")
        .def_property_readonly("star_density_left", &ExactRiemannSolution::GetStarDensityLeft,
                               "Density between the left wave and the contact "
                               "(GetStarDensityLeft).")
        .def_property_readonly("star_density_right", &ExactRiemannSolution::GetStarDensityRight,
                               "Density between the contact and the right wave "
                               "(GetStarDensityRight).")
        .def_property_readonly("left_wave_is_shock", &ExactRiemannSolution::IsLeftWaveShock,
                               "True for a left shock, False for a left rarefaction fan "
                               "(IsLeftWaveShock).")
        .def_property_readonly("right_wave_is_shock", &ExactRiemannSolution::IsRightWaveShock,
                               "True for a right shock, False for a right rarefaction fan "
                               "(IsRightWaveShock).")
        .def_property_readonly("left_head_speed", &ExactRiemannSolution::GetLeftHeadSpeed,
                               "Speed of the left shock or of the left fan's head "
                               "(GetLeftHeadSpeed).")
        .def_property_readonly("left_tail_speed", &ExactRiemannSolution::GetLeftTailSpeed,
                               "Speed of the left shock or of the left fan's tail "
                               "(GetLeftTailSpeed).")
        .def_property_readonly("right_head_speed", &ExactRiemannSolution::GetRightHeadSpeed,
                               "Speed of the right shock or of the right fan's head "
                               "(GetRightHeadSpeed).")
        .def_property_readonly("right_tail_speed", &ExactRiemannSolution::GetRightTailSpeed,
                               "Speed of the right shock or of the right fan's tail "
                               "(GetRightTailSpeed).")
        .def_property_readonly("contact_speed", &ExactRiemannSolution::GetContactSpeed,
                               "Speed of the contact, the star velocity (GetContactSpeed).")
        .def("__repr__", [](const ExactRiemannSolution& e) {
            return "ExactRiemannSolution(left=" + StateRepr(e.GetLeft()) +
                   ", right=" + StateRepr(e.GetRight()) +
                   ", gamma=" + py::repr(py::float_(e.GetGamma())).cast<std::string>() +
                   ", diaphragm=" + py::repr(py::float_(e.GetDiaphragm())).cast<std::string>() +
                   ")";
        });
    exact.attr("Sample") = SampleType();
}

// ---------------------------------------------------------------------------------------------
// The two cases

void BindShockTube(py::module_& m) {
    py::class_<ShockTubeHost> tube(m, "ShockTube", R"doc(
The shock tube (Nembra::ShockTube): air at rest, 1013250 Pa and 360.2 K left of a diaphragm in
the middle of the tube, 101325 Pa and 288.16 K right of it (pressure ratio 10, density ratio 8).
The first call lays the two states with a diaphragm one node spacing thick; then a shock and a
contact run to the right and a rarefaction fan to the left. The lower and upper edges are
symmetry planes, so every row j holds the same profile; the two ends hold their initial states.

The default tube, 1000 x 11 nodes over 1e-4 m, keeps every front thin against the plateaus
between them until the shock has crossed a third of the tube: run(until_time=tube.default_end_time).
exact_solution().sample(tube.x, tube.model_time) gives the inviscid answer at the same time.
)doc");
    DefineMeshConstructors(tube, {"ShockTube", 1000, 11, 1e-4, 10000});
    DefineRepr(tube, "ShockTube");
    DefineFlowMethods(tube);
    tube.def_property_readonly("left_pressure", &ShockTubeHost::GetLeftPressure,
                               "Initial pressure left of the diaphragm, Pa (GetLeftPressure).")
        .def_property_readonly("left_temperature", &ShockTubeHost::GetLeftTemperature,
                               "Initial temperature left of the diaphragm, K "
                               "(GetLeftTemperature).")
        .def_property_readonly("left_density", &ShockTubeHost::GetLeftDensity,
                               "Initial density left of the diaphragm, kg/m^3, by the gas law "
                               "(GetLeftDensity).")
        .def_property_readonly("right_pressure", &ShockTubeHost::GetRightPressure,
                               "Initial pressure right of the diaphragm, Pa (GetRightPressure).")
        .def_property_readonly("right_temperature", &ShockTubeHost::GetRightTemperature,
                               "Initial temperature right of the diaphragm, K "
                               "(GetRightTemperature).")
        .def_property_readonly("right_density", &ShockTubeHost::GetRightDensity,
                               "Initial density right of the diaphragm, kg/m^3, by the gas law "
                               "(GetRightDensity).")
        .def_property_readonly("diaphragm_position", &ShockTubeHost::GetDiaphragmPosition,
                               "x of the diaphragm, m: the middle of the tube "
                               "(GetDiaphragmPosition).")
        .def_property_readonly("default_end_time", &ShockTubeHost::GetDefaultEndTime,
                               "Model time, s, at which the exact shock has crossed a third of "
                               "the tube (GetDefaultEndTime).")
        .def("exact_solution", &ShockTubeHost::GetExactSolution,
             "The exact inviscid solution of this tube's Riemann problem in SI units, with the\n"
             "solver's gamma and the diaphragm at diaphragm_position (GetExactSolution): sample\n"
             "it at (x, model_time).");
}

void BindBlastWave(py::module_& m) {
    py::class_<BlastWaveHost> blast(m, "BlastWave", R"doc(
The blast wave (Nembra::BlastWave): air at rest at 288.16 K and 101325 Pa in the closed box, with
a disc of gas at 1013250 Pa and 576.32 K at its centre, radius 0.15 times the box's smaller side.
The disc bursts: a circular shock runs out and reflects from the walls, a rarefaction runs in
and refocuses at the centre. The edges are the closed box's.

The default box, 141 x 141 nodes over 1e-5 m, 1500 calls: the shock reaches the upper and
lower walls after about 500 steps, the side walls after about 700.
)doc");
    DefineMeshConstructors(blast, {"BlastWave", 141, 141, 1e-5, 1500});
    DefineRepr(blast, "BlastWave");
    DefineFlowMethods(blast);
    blast
        .def_property_readonly("ambient_pressure", &BlastWaveHost::GetAmbientPressure,
                               "Pressure of the air around the disc, Pa (GetAmbientPressure).")
        .def_property_readonly("ambient_temperature", &BlastWaveHost::GetAmbientTemperature,
                               "Temperature of the air around the disc, K "
                               "(GetAmbientTemperature).")
        .def_property_readonly("disc_pressure", &BlastWaveHost::GetDiscPressure,
                               "Initial pressure in the disc, Pa (GetDiscPressure).")
        .def_property_readonly("disc_temperature", &BlastWaveHost::GetDiscTemperature,
                               "Initial temperature in the disc, K (GetDiscTemperature).")
        .def_property_readonly("disc_radius", &BlastWaveHost::GetDiscRadius,
                               "Radius of the disc, m (GetDiscRadius).")
        .def_property_readonly("centre_x", &BlastWaveHost::GetCentreX,
                               "x of the disc's centre, the middle of the box, m (GetCentreX).")
        .def_property_readonly("centre_y", &BlastWaveHost::GetCentreY,
                               "y of the disc's centre, the middle of the box, m (GetCentreY).");
}

}  // namespace

void BindCases(py::module_& m) {
    BindExactRiemannSolution(m);
    BindShockTube(m);
    BindBlastWave(m);
}

}  // namespace nembra_python
