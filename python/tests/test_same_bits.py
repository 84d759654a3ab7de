"""The package computes exactly what the C++ library computes, slot by slot and bit by bit."""

import numpy as np
import pytest

import nembra
from conftest import assert_same_bits


@pytest.mark.parametrize("calls", [1, 2, 10, 40])
def test_default_run_matches_the_library(library_mesh, calls):
    flow = nembra.Flow()
    assert flow.step(calls) == calls
    assert_same_bits(flow.mesh(), library_mesh("flow", calls))


@pytest.mark.parametrize("wall", ["isothermal", "adiabatic"])
def test_flat_plate_after_100_calls_matches_the_library(library_mesh, wall):
    plate = nembra.FlatPlate(wall=wall)
    plate.step(100)
    assert_same_bits(plate.mesh(), library_mesh("plate", 100, wall))


def test_run_in_chunks_with_callbacks_matches_one_step_call(library_mesh):
    flow = nembra.Flow()
    seen = []
    summary = flow.run(40, every=7, callback=lambda s: seen.append(s.step_count))
    assert summary.calls == 40 and seen == [7, 14, 21, 28, 35, 40]
    assert_same_bits(flow.mesh(), library_mesh("flow", 40))


def test_every_way_of_reading_gives_the_same_bits(library_mesh):
    flow = nembra.Flow()
    flow.step(10)
    expected = library_mesh("flow", 10)
    rows = np.stack([flow.row(i) for i in range(flow.imax)])
    assert_same_bits(rows, expected)
    for python_name, library_name in nembra.SLOTS:
        field = flow.field(python_name)
        assert field.dtype == np.float64 and field.shape == (70, 70)
        assert np.array_equal(field.view(np.uint64),
                              np.ascontiguousarray(expected[python_name]).view(np.uint64))
        assert np.array_equal(flow.field(library_name).view(np.uint64), field.view(np.uint64))
    assert flow.node(35, 36).tobytes() == expected[35, 36].tobytes()


def test_diffusion_run_matches_the_library(reference_dump, tmp_path):
    import subprocess
    out = tmp_path / "diffusion.bin"
    subprocess.run([reference_dump, "diffusion", str(out)], check=True)
    diffusion = nembra.Diffusion(time_interval=0.1, coordinate_step_size=1.0, segments=100,
                                 beta=2.0)
    diffusion.profile = (np.arange(101) % 7) * 0.25
    diffusion.step(200)
    diffusion.beta = 1.5
    diffusion.change_const_value_a()
    diffusion.step(50)
    expected = np.frombuffer(out.read_bytes(), dtype=np.float64)
    assert np.array_equal(diffusion.profile.view(np.uint64), expected.view(np.uint64))
