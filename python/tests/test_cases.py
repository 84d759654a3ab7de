"""The shock tube, the blast wave and the exact Riemann solution."""

import math

import numpy as np
import pytest

import nembra
from conftest import assert_same_bits

# Sod's problem in dimensionless units, gamma 1.4: the star state and wave speeds as published
# (to five figures) in the textbooks on Riemann solvers.
SOD_LEFT = (1.0, 0.0, 1.0)
SOD_RIGHT = (0.125, 0.0, 0.1)
SOD_STAR_PRESSURE = 0.30313
SOD_STAR_VELOCITY = 0.92745
SOD_STAR_DENSITY_LEFT = 0.42632
SOD_STAR_DENSITY_RIGHT = 0.26557
SOD_SHOCK_SPEED = 1.75216
SOD_FAN_HEAD_SPEED = -1.18322
SOD_FAN_TAIL_SPEED = -0.07027


def sod(diaphragm=0.5):
    return nembra.ExactRiemannSolution(SOD_LEFT, SOD_RIGHT, gamma=1.4, diaphragm=diaphragm)


# ------------------------------------------------------------------------------------------------
# The same bits as the library


# Each case's library default, as keyword arguments too.
CASES = {
    "shock-tube": (nembra.ShockTube, dict(imax=1000, jmax=11, length_x=1e-4, max_steps=10000)),
    "blast": (nembra.BlastWave, dict(imax=141, jmax=141, length_x=1e-5, max_steps=1500)),
}


@pytest.mark.parametrize("kind", CASES)
@pytest.mark.parametrize("calls", [1, 2, 100])
@pytest.mark.parametrize("made", ["default", "keywords"])
def test_cases_match_the_library(library_mesh, kind, calls, made):
    case, defaults = CASES[kind]
    solver = case() if made == "default" else case(**defaults)
    assert solver.step(calls) == calls
    shape = (defaults["imax"], defaults["jmax"])
    assert_same_bits(solver.mesh(), library_mesh(kind, calls, shape=shape))


# ------------------------------------------------------------------------------------------------
# The cases' settings as the solver lays them


def test_shock_tube_states_are_the_ones_laid_at_its_ends():
    tube = nembra.ShockTube(imax=201, jmax=5, length_x=2e-5, max_steps=10)
    tube.step()
    p, T, rho = tube.field("p"), tube.field("T"), tube.field("rho")
    assert (p[0, 2], T[0, 2], rho[0, 2]) == pytest.approx(
        (tube.left_pressure, tube.left_temperature, tube.left_density), rel=1e-12)
    assert (p[-1, 2], T[-1, 2], rho[-1, 2]) == pytest.approx(
        (tube.right_pressure, tube.right_temperature, tube.right_density), rel=1e-12)
    assert tube.left_pressure / tube.right_pressure == pytest.approx(10)
    assert tube.left_density / tube.right_density == pytest.approx(8, rel=1e-3)
    assert tube.diaphragm_position == pytest.approx(tube.length_x / 2)
    # Node 100 of 201 sits in the middle of the diaphragm's layer.
    assert p[100, 2] == pytest.approx((tube.left_pressure + tube.right_pressure) / 2, rel=1e-9)
    assert repr(tube).startswith("ShockTube(imax=201, jmax=5, length_x=2e-05, max_steps=10)")


def test_blast_wave_disc_is_where_its_properties_say():
    blast = nembra.BlastWave(imax=281, jmax=281)
    blast.step()
    p = blast.field("p")
    x, y = np.meshgrid(blast.x, blast.y, indexing="ij")
    r = np.hypot(x - blast.centre_x, y - blast.centre_y)
    assert blast.disc_radius == pytest.approx(0.15 * min(blast.length_x, blast.length_y))
    assert (blast.centre_x, blast.centre_y) == pytest.approx((blast.length_x / 2,
                                                              blast.length_y / 2))
    spacing = min(blast.delta_x, blast.delta_y)
    inside = r < blast.disc_radius - 20 * spacing
    outside = r > blast.disc_radius + 20 * spacing
    assert inside.any() and outside.any()
    assert np.all(p[inside] == blast.disc_pressure)
    assert np.all(p[outside] == blast.ambient_pressure)
    assert blast.field("T")[140, 140] == blast.disc_temperature
    assert blast.field("T")[0, 0] == blast.ambient_temperature
    assert np.array_equal(p, p[::-1, :]) and np.array_equal(p, p[:, ::-1])


def test_the_tubes_exact_solution_is_built_from_its_states():
    tube = nembra.ShockTube(imax=100, jmax=5, length_x=1e-5, max_steps=10)
    exact = tube.exact_solution()
    assert tuple(exact.left) == (tube.left_density, 0.0, tube.left_pressure)
    assert tuple(exact.right) == (tube.right_density, 0.0, tube.right_pressure)
    assert exact.gamma == tube.gamma and exact.diaphragm == tube.diaphragm_position
    again = nembra.ExactRiemannSolution(exact.left, exact.right, tube.gamma,
                                        tube.diaphragm_position)
    assert again.star_pressure == exact.star_pressure
    # The default end time is when the shock has crossed a third of the tube.
    assert exact.right_head_speed * tube.default_end_time == pytest.approx(tube.length_x / 3)


def test_computed_tube_follows_the_exact_solution():
    """The default tube at its default end time: plateaus at the exact star values, fronts where
    the exact waves are. This also checks model_time, the time the exact solution is taken at."""
    tube = nembra.ShockTube()
    summary = tube.run(until_time=tube.default_end_time)
    assert summary.reason == "time"
    exact = tube.exact_solution()
    x, t = tube.x, tube.model_time
    j = tube.jmax // 2
    p, u, rho = tube.field("p")[:, j], tube.field("u")[:, j], tube.field("rho")[:, j]
    x0 = tube.diaphragm_position
    contact, shock = x0 + exact.contact_speed * t, x0 + exact.right_head_speed * t
    tail = x0 + exact.left_tail_speed * t
    star = (x > tail + 0.02 * tube.length_x) & (x < shock - 0.02 * tube.length_x)
    assert star.sum() > 100
    assert np.median(p[star]) == pytest.approx(exact.star_pressure, rel=0.01)
    assert np.median(u[star]) == pytest.approx(exact.star_velocity, rel=0.02)
    between = (x > contact + 0.03 * tube.length_x) & (x < shock - 0.02 * tube.length_x)
    assert np.median(rho[between]) == pytest.approx(exact.star_density_right, rel=0.02)
    # The computed shock: where the pressure falls half way from the star to the right state.
    half = (exact.star_pressure + tube.right_pressure) / 2
    computed_shock = x[np.nonzero(p > half)[0].max()]
    assert abs(computed_shock - shock) < 0.01 * tube.length_x


# ------------------------------------------------------------------------------------------------
# The exact solution


def test_sod_star_state_and_wave_speeds():
    exact = sod()
    assert exact.star_pressure == pytest.approx(SOD_STAR_PRESSURE, abs=1e-5)
    assert exact.star_velocity == pytest.approx(SOD_STAR_VELOCITY, abs=1e-5)
    assert exact.star_density_left == pytest.approx(SOD_STAR_DENSITY_LEFT, abs=1e-5)
    assert exact.star_density_right == pytest.approx(SOD_STAR_DENSITY_RIGHT, abs=1e-5)
    assert not exact.left_wave_is_shock and exact.right_wave_is_shock
    assert exact.right_head_speed == pytest.approx(SOD_SHOCK_SPEED, abs=1e-5)
    assert exact.right_tail_speed == exact.right_head_speed
    assert exact.left_head_speed == pytest.approx(SOD_FAN_HEAD_SPEED, abs=1e-5)
    assert exact.left_tail_speed == pytest.approx(SOD_FAN_TAIL_SPEED, abs=1e-5)
    assert exact.contact_speed == exact.star_velocity


def test_sod_profile_in_every_region():
    exact, t = sod(), 0.25
    x = np.array([0.1, 0.6, 0.8, 0.95])  # left, left star, right star, right
    s = exact.sample(x, t)
    expected_rho = [1.0, SOD_STAR_DENSITY_LEFT, SOD_STAR_DENSITY_RIGHT, 0.125]
    expected_u = [0.0, SOD_STAR_VELOCITY, SOD_STAR_VELOCITY, 0.0]
    expected_p = [1.0, SOD_STAR_PRESSURE, SOD_STAR_PRESSURE, 0.1]
    assert s.density == pytest.approx(expected_rho, abs=1e-5)
    assert s.velocity == pytest.approx(expected_u, abs=1e-5)
    assert s.pressure == pytest.approx(expected_p, abs=1e-5)
    # Inside the fan: the isentropic fan of the textbooks, with a = sqrt(gamma p / rho).
    g, a = 1.4, math.sqrt(1.4)
    fan_x = 0.5 + np.linspace(-1.1, -0.1, 7) * t
    ray = (fan_x - 0.5) / t
    base = 2 / (g + 1) - (g - 1) / ((g + 1) * a) * ray
    fan = exact.sample(fan_x, t)
    assert fan.density == pytest.approx(base ** (2 / (g - 1)), rel=1e-12)
    assert fan.velocity == pytest.approx(2 / (g + 1) * (a + ray), rel=1e-12)
    assert fan.pressure == pytest.approx(base ** (2 * g / (g - 1)), rel=1e-12)


def test_sample_broadcasts_and_matches_one_point_at_a_time():
    exact = sod()
    x = np.linspace(0.0, 1.0, 41)
    t = np.array([0.0, 0.05, 0.1, 0.2, 0.3])
    grid = exact.sample(x[:, None], t[None, :])
    assert isinstance(grid, nembra.RiemannSample)
    for values in grid:
        assert values.shape == (41, 5) and values.dtype == np.float64
    for i in range(0, 41, 4):
        for k in range(5):
            point = exact.sample(float(x[i]), float(t[k]))
            assert isinstance(point.density, float)
            assert (point.density, point.velocity, point.pressure) == (
                grid.density[i, k], grid.velocity[i, k], grid.pressure[i, k])
    # Before the diaphragm bursts: the two states, the diaphragm point on the right.
    assert tuple(exact.sample(0.5, 0.0)) == SOD_RIGHT
    assert tuple(exact.sample(0.4999, -1.0)) == SOD_LEFT
    # Lists, ints and non-contiguous arrays are taken as numbers.
    assert np.array_equal(exact.sample([0, 1], 0).density, [1.0, 0.125])
    strided = exact.sample(x[::4], 0.2).pressure
    assert np.array_equal(strided, grid.pressure[::4, 3])


def test_exact_solution_refusals():
    with pytest.raises(ValueError, match="ExactRiemannSolution"):
        nembra.ExactRiemannSolution((1.0, -10.0, 1.0), (1.0, 10.0, 1.0), 1.4)  # vacuum
    with pytest.raises(ValueError, match="ExactRiemannSolution"):
        nembra.ExactRiemannSolution((1.0, 0.0, 1.0), (0.0, 0.0, 0.1), 1.4)
    with pytest.raises(ValueError, match="ExactRiemannSolution"):
        nembra.ExactRiemannSolution(SOD_LEFT, SOD_RIGHT, 1.0)
    with pytest.raises(ValueError, match="ExactRiemannSolution"):
        nembra.ExactRiemannSolution(SOD_LEFT, (math.nan, 0.0, 0.1), 1.4)
    for bad in [(1.0, 0.0), (1.0, 0.0, 1.0, 2.0), "abc", ("1", 0.0, 1.0), None, 3.0]:
        with pytest.raises(TypeError):
            nembra.ExactRiemannSolution(bad, SOD_RIGHT, 1.4)
    with pytest.raises(TypeError):
        sod().sample("x", 0.1)
    with pytest.raises(TypeError):
        sod().sample(0.5, [1j])
    with pytest.raises(ValueError):
        sod().sample(np.zeros(3), np.zeros(4))  # shapes that do not broadcast


def test_states_and_reprs():
    state = nembra.ExactRiemannSolution.State(density=1.0, velocity=0.5, pressure=2.0)
    assert (state.density, state.velocity, state.pressure) == (1.0, 0.5, 2.0)
    exact = nembra.ExactRiemannSolution(state, SOD_RIGHT, 1.4)
    assert exact.left == state and tuple(exact.right) == SOD_RIGHT
    assert "State(density=1.0, velocity=0.5, pressure=2.0)" in repr(exact)
    # Non-finite positions give the neighbouring states, never an error or a crash.
    far = exact.sample(np.array([-np.inf, np.inf]), 1.0)
    assert np.all(np.isfinite(far.density))
