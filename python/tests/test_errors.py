"""What Python users pass: refused with the right exception, never a crash."""

import ctypes
import subprocess
import sys
import textwrap
import warnings

import numpy as np
import pytest

import nembra


@pytest.mark.parametrize("arguments", [
    {"imax": 3}, {"jmax": -5}, {"length_x": 0.0}, {"length_x": -1e-5},
    {"length_x": float("nan")}, {"length_x": float("inf")}, {"max_steps": -1},
])
def test_unusable_flow_settings_are_value_errors(arguments):
    with pytest.raises(ValueError):
        nembra.Flow(**arguments)
    with pytest.raises(ValueError):
        nembra.FlatPlate(**arguments)
    for case in (nembra.ShockTube, nembra.BlastWave):
        with pytest.raises(ValueError):
            case(**arguments)


@pytest.mark.parametrize("arguments", [
    {"imax": 1.5}, {"imax": "70"}, {"imax": None}, {"length_x": "1e-5"}, {"imax": 2**40},
])
def test_wrong_types_are_type_errors(arguments):
    for solver in (nembra.Flow, nembra.ShockTube, nembra.BlastWave):
        with pytest.raises(TypeError):
            solver(**arguments)


def test_wrong_names_and_indices():
    flow = nembra.Flow(imax=12, jmax=12)
    flow.step()
    with pytest.raises(ValueError, match="unknown field 'density'.*rho"):
        flow.field("density")
    with pytest.raises(TypeError):
        flow.field(7)
    for i, j in [(12, 0), (0, 12), (-13, 0), (0, -13)]:
        with pytest.raises(IndexError):
            flow.node(i, j)
    with pytest.raises(IndexError):
        flow.row(12)
    with pytest.raises(ValueError, match="negative"):
        flow.step(-1)
    with pytest.raises(ValueError):
        nembra.FlatPlate(wall="warm")
    with pytest.raises(TypeError):
        nembra.Flow().run(until_converged=1e-8)


def test_a_mesh_larger_than_memory_is_a_memory_error():
    with pytest.raises(MemoryError, match="100000 x 100000 mesh needs"):
        nembra.Flow(imax=100000, jmax=100000)


def test_a_failed_allocation_warns_with_the_library_messages_then_raises():
    # Limit the address space of a child interpreter to what it uses plus 600 MB, so that the
    # library's own allocation of a 2000 x 2000 mesh (1.4 GB) fails after the binding let it try.
    script = textwrap.dedent("""
        import resource, warnings
        import nembra
        with open("/proc/self/status") as status:
            in_use = next(int(line.split()[1]) * 1024 for line in status
                          if line.startswith("VmSize:"))
        limit = in_use + (600 << 20)
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            try:
                nembra.Flow(imax=2000, jmax=2000)
            except MemoryError as error:
                print("MemoryError:", error)
        for warning in caught:
            print(warning.category.__name__, str(warning.message))
        flow = nembra.Flow(imax=20, jmax=20)
        print("afterwards", flow.step(3))
    """)
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                            timeout=120)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert lines[0] == "MemoryError: the 2000 x 2000 mesh could not be allocated"
    assert lines[1] == "AllocationWarning AllocateMeshNodesSpace 2: 2"
    assert lines[2] == "AllocationWarning 分配内存出错: 分配内存出错"
    assert lines[-1] == "afterwards 3"


def _flush_c_stdout():
    ctypes.CDLL(None).fflush(None)


def test_value_reports_are_counted_warned_and_match_the_console(capfd):
    class Holes(nembra.Flow):
        def initial(self, u, v, T, p):
            p[3, 4] = np.nan        # checked
            u[5, 6] = np.inf        # checked
            T[-1, 5] = np.nan       # last row: not checked
            p[2, -1] = np.nan       # last node of a row: not checked

    flow = Holes(imax=12, jmax=12, length_x=1e-5, max_steps=10)
    flow.step()
    with pytest.warns(nembra.ValueReportWarning, match="^2 node value"):
        flow.step()
    _flush_c_stdout()
    assert flow.value_reports == 2
    assert capfd.readouterr().out == "error:value'error" * 2
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        flow.step(3)
    _flush_c_stdout()
    assert capfd.readouterr().out.count("error:value'error") == flow.value_reports - 2


def test_hostile_values_in_views_and_hooks_do_not_crash():
    flow = nembra.Flow(imax=12, jmax=12)
    flow.step()
    row = flow.row(4)
    row["rho"] = 0.0
    row["mu"] = np.inf
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", nembra.ValueReportWarning)
        flow.step(5)
    assert flow.step_count == 6
