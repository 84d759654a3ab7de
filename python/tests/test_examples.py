"""The notebooks and the Dask ensemble in examples/python run from start to end."""

import csv
import json
import subprocess
import sys
from pathlib import Path

import pytest

EXAMPLES = Path(__file__).resolve().parents[2] / "examples" / "python"
NOTEBOOKS = sorted(EXAMPLES.glob("*.ipynb"))


@pytest.fixture(scope="module")
def kernel_of_this_interpreter(tmp_path_factory):
    """A Jupyter kernel that runs this very interpreter (the environment with nembra), whatever
    `python3` the system's own kernel definition would start."""
    root = tmp_path_factory.mktemp("jupyter")
    kernel_dir = root / "kernels" / "nembra-test"
    kernel_dir.mkdir(parents=True)
    (kernel_dir / "kernel.json").write_text(json.dumps({
        "argv": [sys.executable, "-Xfrozen_modules=off", "-m", "ipykernel_launcher", "-f", "{connection_file}"],
        "display_name": "nembra tests", "language": "python"}))
    return root


def test_every_notebook_is_found():
    assert {p.name for p in NOTEBOOKS} >= {"getting_started.ipynb", "flat_plate.ipynb",
                                           "custom_problem.ipynb", "shock_tube.ipynb"}


@pytest.mark.parametrize("notebook", NOTEBOOKS, ids=lambda p: p.stem)
def test_notebook_runs_headless(notebook, kernel_of_this_interpreter, tmp_path, monkeypatch):
    import nbformat
    from nbclient import NotebookClient

    monkeypatch.setenv("JUPYTER_PATH", str(kernel_of_this_interpreter))
    nb = nbformat.read(notebook, as_version=4)
    NotebookClient(nb, timeout=600, kernel_name="nembra-test",
                   resources={"metadata": {"path": str(tmp_path)}}).execute()
    errors = [o for cell in nb.cells if cell.cell_type == "code" for o in cell.outputs
              if o.output_type == "error"]
    assert not errors
    assert any(o.get("data", {}).get("image/png") for cell in nb.cells
               if cell.cell_type == "code" for o in cell.outputs), "each notebook draws"


def test_small_ensemble_on_a_local_dask_cluster(tmp_path):
    result = subprocess.run(
        [sys.executable, str(EXAMPLES / "flat_plate_ensemble.py"), "--sizes", "12,16",
         "--tolerance", "1e-3", "--workers", "1", "--output", str(tmp_path)],
        capture_output=True, text=True, timeout=600)
    assert result.returncode == 0, result.stdout + result.stderr
    with open(tmp_path / "ensemble.csv") as table:
        rows = list(csv.DictReader(table))
    assert sorted((int(r["size"]), r["wall"]) for r in rows) == [
        (12, "adiabatic"), (12, "isothermal"), (16, "adiabatic"), (16, "isothermal")]
    assert all(r["converged"] == "True" for r in rows)
    insulated = {int(r["size"]): float(r["wall_T_ratio"]) for r in rows if r["wall"] == "adiabatic"}
    assert all(ratio > 1.5 for ratio in insulated.values()), "an insulated wall heats up"
    assert (tmp_path / "ensemble.png").stat().st_size > 1000


def test_ensemble_refuses_bad_arguments():
    result = subprocess.run([sys.executable, str(EXAMPLES / "flat_plate_ensemble.py"),
                             "--walls", "warm"], capture_output=True, text=True, timeout=60)
    assert result.returncode == 2 and "--walls" in result.stderr
