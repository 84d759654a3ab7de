"""run() and its stopping rules; the diffusion solver."""

import numpy as np
import pytest

import nembra


def test_until_time_stops_at_the_first_call_that_reaches_it():
    flow = nembra.Flow(imax=20, jmax=20, length_x=1e-5, max_steps=1000)
    summary = flow.run(until_time=1e-10)
    assert summary.reason == "time" and flow.model_time >= 1e-10
    assert flow.model_time - flow.delta_t < 1e-10
    assert summary.model_time == flow.model_time and summary.calls == flow.step_count


def test_model_time_is_the_sum_of_the_time_steps():
    flow = nembra.Flow(imax=20, jmax=20, length_x=1e-5, max_steps=1000)
    flow.step()
    assert flow.model_time == 0.0, "the initializing call takes no time step"
    total = 0.0
    for _ in range(5):
        flow.step()
        total += flow.delta_t
    assert flow.model_time == total


def test_until_converged_and_the_step_limit():
    plate = nembra.FlatPlate(imax=20, jmax=20, length_x=1e-5, max_steps=100000)
    summary = plate.run(until_converged=1e-4)
    assert summary.reason == "converged" and plate.density_change < 1e-4
    limited = nembra.FlatPlate(imax=20, jmax=20, length_x=1e-5, max_steps=30)
    assert limited.run(until_converged=1e-12).reason == "limit"
    assert limited.step_count == 30 and limited.step(5) == 0
    assert limited.run().calls == 0


def test_progress_bar_and_callbacks(capsys):
    flow = nembra.Flow(imax=20, jmax=20, length_x=1e-5, max_steps=1000)
    seen = []
    summary = flow.run(50, every=20, callback=lambda s: seen.append(s.step_count), progress=True)
    assert summary == (50, flow.model_time, "calls") and seen == [20, 40, 50]
    assert "50/50" in capsys.readouterr().err
    with pytest.raises(ValueError):
        flow.run(10, every=0)


def test_diffusion_settings_and_one_spike_step():
    d = nembra.Diffusion()
    assert (d.time_interval, d.coordinate_step_size, d.segments, d.sampling_points, d.beta,
            d.diffusion_number) == (0.1, 1.0, 300, 301, 1.0, 0.1)
    profile = d.profile
    assert profile.shape == (301,) and not profile.any()
    profile[150] = 1.0
    d.profile = profile
    d.step()
    assert d.profile[149:152] == pytest.approx([0.1, 0.8, 0.1], abs=1e-15)
    assert d.time_step_count == 0 and d.step_count == 1 and d.model_time == 0.1


def test_diffusion_number_changes_only_when_asked():
    d = nembra.Diffusion(time_interval=0.1, coordinate_step_size=1.0, segments=10, beta=1.0)
    d.beta = 2.0
    assert d.diffusion_number == 0.1
    d.change_const_value_a()
    assert d.diffusion_number == pytest.approx(0.2)
    d.coordinate_step_size = 2.0
    d.change_const_value_a()
    assert d.diffusion_number == pytest.approx(0.05)


def test_diffusion_index_rules_and_errors():
    d = nembra.Diffusion(segments=4)
    d.set_value(2, 3.0)
    d.set_value(5, 9.0)      # outside: ignored, as the library does
    d.set_value(-1, 9.0)
    assert d.value(2) == 3.0 and d.value(5) == 0.0 and d.value(-1) == 0.0
    assert list(d.profile) == [0, 0, 3.0, 0, 0]
    with pytest.raises(ValueError, match="exactly sampling_points = 5"):
        d.profile = np.zeros(4)
    with pytest.raises(ValueError):
        d.profile = np.zeros((5, 1))
    with pytest.raises(ValueError, match="segments"):
        nembra.Diffusion(segments=0)
    with pytest.raises(TypeError):
        d.profile = ["a"] * 5
    assert d.run(until_time=0.25).calls == 3
    for dt in (0.0, -0.1, float("nan")):
        with pytest.raises(ValueError, match="time_interval"):
            nembra.Diffusion(time_interval=dt, segments=4).run(until_time=1.0)
