"""Custom problems written in Python: subclasses of Flow with initial() and boundary() hooks."""

import numpy as np
import pytest

import nembra
from conftest import assert_same_bits


class LibraryFieldInPython(nembra.Flow):
    """The library's own default field and closed box, written as hooks."""

    def __init__(self):
        super().__init__()
        self.calls = {"initial": 0, "current": 0, "predicted": 0}

    def initial(self, u, v, T, p):
        self.calls["initial"] += 1
        assert np.all(T == 288.16) and np.all(p == 101325) and np.all(u == 0)
        block = slice(30, 41)  # imax / 2 - 5 ... imax / 2 + 5
        u[block, block] = 6400.0
        T[block, block] = 576.32
        p[block, block] = 121590.0

    def boundary(self, u, v, T, p, predicted):
        self.calls["predicted" if predicted else "current"] += 1
        for edge in (np.s_[0, :], np.s_[-1, :], np.s_[:, 0], np.s_[:, -1]):
            u[edge], v[edge], T[edge], p[edge] = 0.0, 0.0, 288.16, 101325.0


def test_hooks_written_like_the_library_give_its_bits(library_mesh):
    flow = LibraryFieldInPython()
    flow.step(10)
    assert flow.calls == {"initial": 1, "current": 9, "predicted": 9}
    assert_same_bits(flow.mesh(), library_mesh("flow", 10))


class Channel(nembra.Flow):
    """A uniform stream through a box with a cold lower wall."""

    def initial(self, u, v, T, p):
        u[:] = 200.0
        T[:, :] = 300.0
        p[:] = 1.0e5
        p[u.shape[0] // 2, u.shape[1] // 2] = 1.3e5

    def boundary(self, u, v, T, p, predicted):
        u[0, :], T[0, :], p[0, :] = 200.0, 300.0, 1.0e5
        u[:, 0], v[:, 0], T[:, 0] = 0.0, 0.0, 250.0
        u[-1, :] = 2 * u[-2, :] - u[-3, :]


def test_the_first_step_starts_from_what_initial_set():
    flow = Channel(imax=16, jmax=12, length_x=1e-5, max_steps=100)
    flow.step()
    u, T, p = flow.field("u"), flow.field("T"), flow.field("p")
    assert np.all(u == 200.0) and np.all(T == 300.0)
    assert p[8, 6] == 1.3e5 and np.count_nonzero(p != 1.0e5) == 1
    # Completed by the gas model: density from the state equation, energy, momentum, viscosity.
    rho = flow.field("rho")
    assert np.array_equal(rho, np.abs(p / (T * flow.gas_constant)))
    assert np.array_equal(flow.field("rho_u"), rho * u)
    e_int = np.abs(T * flow.cv)
    assert np.array_equal(flow.field("e_int"), e_int)
    assert np.array_equal(flow.field("e_t"), rho * (e_int + (u * u) * 0.5))
    assert np.allclose(flow.field("mu"), 1.789e-5 * (300 / 288.16) ** 1.5 * 398.16 / 410)
    assert flow.field("mach").max() == pytest.approx(200 / np.sqrt(1.4 * 287 * 300))


def test_boundary_values_hold_after_every_step():
    flow = Channel(imax=16, jmax=12, length_x=1e-5, max_steps=100)
    flow.step(20)
    u, v, T = flow.field("u"), flow.field("v"), flow.field("T")
    assert np.all(u[0, 1:] == 200.0) and np.all(T[0, 1:] == 300.0)
    assert np.all(u[1:, 0] == 0.0) and np.all(v[1:, 0] == 0.0) and np.all(T[1:, 0] == 250.0)
    assert np.array_equal(u[-1, 1:], 2 * u[-2, 1:] - u[-3, 1:])
    mesh = flow.mesh()
    edge_rho = mesh["rho"][1:, 0]
    assert np.array_equal(edge_rho, np.abs(mesh["p"][1:, 0] / (250.0 * flow.gas_constant)))
    # The interior moved: the pressure bump has spread.
    assert np.count_nonzero(flow.field("p")[1:-1, 1:-1] != 1.0e5) > 20


def test_a_subclass_without_hooks_is_the_library_solver(library_mesh):
    class Plain(nembra.Flow):
        pass

    flow = Plain()
    flow.step(2)
    assert_same_bits(flow.mesh(), library_mesh("flow", 2))


def test_small_meshes_need_a_field_of_their_own():
    with pytest.raises(ValueError, match="11 x 11"):
        nembra.Flow(imax=8, jmax=20).step()
    flow = Channel(imax=6, jmax=5, length_x=1e-5, max_steps=10)
    assert flow.step(10) == 10
    assert np.all(np.isfinite(flow.field("rho")))


def test_an_exception_in_a_hook_stops_step_after_that_call():
    class Failing(Channel):
        def boundary(self, u, v, T, p, predicted):
            if self.step_count == 3:
                raise ZeroDivisionError("from the hook")
            super().boundary(u, v, T, p, predicted)

    flow = Failing(imax=16, jmax=12, length_x=1e-5, max_steps=100)
    with pytest.raises(ZeroDivisionError, match="from the hook"):
        flow.step(10)
    assert flow.step_count == 4, "the call under way completes; no later call is made"
    assert flow.step(2) == 2, "the solver goes on once the hook stops raising"


def test_a_hook_cannot_step_but_can_read():
    class Reentrant(Channel):
        def boundary(self, u, v, T, p, predicted):
            self.seen_shape = self.field("rho").shape
            self.step()

    flow = Reentrant(imax=16, jmax=12, length_x=1e-5, max_steps=100)
    flow.step()
    with pytest.raises(RuntimeError, match="cannot call step"):
        flow.step()
    assert flow.seen_shape == (16, 12)


def test_a_hook_may_keep_or_reshape_its_arrays_without_harm():
    class Careless(Channel):
        kept = []

        def boundary(self, u, v, T, p, predicted):
            self.kept.append(u)
            u.shape = (u.size,)
            T.dtype = np.int64

    flow = Careless(imax=16, jmax=12, length_x=1e-5, max_steps=100)
    flow.step(4)
    assert len(Careless.kept) == 6
