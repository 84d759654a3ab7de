"""Reading the mesh: new arrays, zero-copy live rows, and how long what they show lives."""

import gc

import numpy as np
import pytest

import nembra


def _resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096


def test_fields_are_new_arrays_of_the_mesh_shape():
    flow = nembra.Flow(imax=20, jmax=30)
    flow.step(3)
    rho = flow.field("rho")
    assert rho.shape == (20, 30) and rho.dtype == np.float64 and rho.flags.owndata
    rho[:] = -1.0
    assert flow.node(5, 5)["rho"] > 0, "a field is a copy: writing it leaves the solver alone"


def test_speed_and_mach_follow_from_u_v_and_T():
    flow = nembra.Flow()
    flow.step(5)
    u, v, T = flow.field("u"), flow.field("v"), flow.field("T")
    speed = np.sqrt(u * u + v * v)
    assert np.array_equal(flow.field("speed"), speed)
    mach = speed / np.sqrt(flow.gamma * flow.gas_constant * T)
    assert np.array_equal(flow.field("mach"), mach)
    # The hot block: 6400 m/s in air at 576.32 K is Mach 13.3.
    assert flow.field("mach")[35, 35] == pytest.approx(6400 / np.sqrt(1.4 * 287 * 576.32), rel=0.2)


def test_mesh_is_a_copy_with_every_slot_by_both_names():
    flow = nembra.Flow(imax=12, jmax=14)
    flow.step(2)
    mesh = flow.mesh()
    assert mesh.shape == (12, 14) and mesh.dtype == nembra.MESH_NODE
    assert mesh.dtype.itemsize == 352 and len(mesh.dtype.names) == 44
    assert np.array_equal(mesh["Rho"], mesh["rho"]) and np.array_equal(mesh["FluxE[2]"],
                                                                       mesh["flux_e2"])
    mesh["rho"] = 0.0
    assert flow.field("rho").min() > 0


def test_a_row_is_a_live_view_of_the_solver_memory():
    flow = nembra.Flow()
    flow.step()
    row = flow.row(35)
    assert row.base is flow and not row.flags.owndata
    assert row.shape == (70,) and row.strides == (352,)
    before = row["u"].copy()
    flow.step()
    assert not np.array_equal(row["u"], before), "the view shows the step without a new call"
    assert np.array_equal(row["u"], flow.field("u")[35])
    # Writing through the view writes the solver's node: the same memory, not a copy.
    row["T"][3] = 1234.5
    assert flow.node(35, 3)["T"] == 1234.5
    assert np.shares_memory(flow.row(35), row)
    assert row.__array_interface__["data"][0] == flow.row(35).__array_interface__["data"][0]


def test_negative_indices_count_from_the_end():
    flow = nembra.Flow(imax=15, jmax=16)
    flow.step()
    assert flow.node(-1, -1).tobytes() == flow.node(14, 15).tobytes()
    assert np.shares_memory(flow.row(-1), flow.row(14))


def test_a_view_keeps_the_solver_alive_after_del():
    flow = nembra.FlatPlate(imax=20, jmax=20)
    flow.step(30)
    row = flow.row(10)
    expected = row.copy()
    del flow
    gc.collect()
    filler = [np.full(20 * 44, 7.0) for _ in range(1000)]  # reuse freed memory if it was freed
    assert isinstance(row.base, nembra.FlatPlate)
    assert row.tobytes() == expected.tobytes()
    assert row.base.step(5) == 5, "the solver behind the view still works"
    del filler


def test_no_memory_is_kept_over_many_solvers():
    gc.collect()
    before = _resident_bytes()
    for _ in range(300):  # 300 default meshes are 500 MB
        flow = nembra.Flow()
        flow.step(2)
        row = flow.row(3)
        del flow, row
    gc.collect()
    assert _resident_bytes() - before < 50e6


def test_coordinates_and_settings():
    flow = nembra.Flow(imax=21, jmax=11, length_x=2e-5, max_steps=50)
    assert flow.shape == (21, 11) and flow.max_steps == 50
    assert flow.length_x == 2e-5
    assert flow.delta_x == pytest.approx(2e-5 / 20)
    assert np.allclose(flow.x, np.arange(21) * flow.delta_x)
    assert np.allclose(flow.y, np.arange(11) * flow.delta_y)
    assert flow.y[-1] == pytest.approx(flow.length_y)
    assert "imax=21" in repr(flow)
