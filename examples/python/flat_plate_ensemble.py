#!/usr/bin/env python3
"""Mesh convergence and wall condition of the Mach 4 flat plate, as an ensemble on Dask.

Runs every combination of mesh size and wall condition to a steady state, one run per task, on
a local cluster (one single-threaded worker per core by default) or on the scheduler given with
--scheduler, then prints a table and writes it (CSV) and a plot of the wall pressure and
temperature at the trailing edge against the mesh size.

    python3 examples/python/flat_plate_ensemble.py                      # 3 sizes x 2 walls
    python3 examples/python/flat_plate_ensemble.py --scheduler tcp://host:8786
    python3 examples/python/flat_plate_ensemble.py --sizes 16,24 --tolerance 1e-4 --workers 1
"""

import argparse
import csv
import sys
import time
from pathlib import Path


def run_case(size, wall, tolerance, max_steps):
    """One run to convergence; returns plain numbers, so the result travels to the client."""
    import nembra  # imported on the worker

    started = time.perf_counter()
    plate = nembra.FlatPlate(imax=size, jmax=size, wall=wall, max_steps=max_steps)
    summary = plate.run(until_converged=tolerance)
    trailing = -1  # the last row, x = L
    p = plate.field("p")[trailing]
    T = plate.field("T")[trailing]
    return {
        "size": size,
        "wall": wall,
        "converged": summary.reason == "converged",
        "steps": plate.step_count - 1,
        "model_time_s": plate.model_time,
        "wall_p_ratio": p[0] / plate.p_inf,
        "wall_T_ratio": T[0] / plate.t_inf,
        "peak_T_ratio": float(T.max() / plate.t_inf),
        "seconds": time.perf_counter() - started,
    }


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", default="40,55,70",
                        help="mesh sizes, nodes a side, comma-separated (default 40,55,70)")
    parser.add_argument("--walls", default="isothermal,adiabatic",
                        help="wall conditions, comma-separated (default both)")
    parser.add_argument("--tolerance", type=float, default=1e-8,
                        help="largest density change of a converged step, kg/m^3 (default 1e-8)")
    parser.add_argument("--max-steps", type=int, default=60000,
                        help="step limit of each run (default 60000)")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="a running Dask scheduler (default: a local cluster)")
    parser.add_argument("--workers", type=int, default=None,
                        help="workers of the local cluster, one thread each (default: one a core)")
    parser.add_argument("--output", type=Path, default=Path("nembra-out/ensemble"),
                        help="where the table and the plot go (default nembra-out/ensemble)")
    arguments = parser.parse_args(argv)
    try:
        arguments.sizes = [int(s) for s in arguments.sizes.split(",")]
    except ValueError:
        parser.error("--sizes takes whole numbers separated by commas")
    arguments.walls = arguments.walls.split(",")
    if any(w not in ("isothermal", "adiabatic") for w in arguments.walls):
        parser.error("--walls takes isothermal and/or adiabatic")
    if any(s < 11 for s in arguments.sizes):
        parser.error("--sizes must be at least 11")
    return arguments


def connect(arguments):
    from dask.distributed import Client, LocalCluster

    if arguments.scheduler:
        return Client(arguments.scheduler), None
    cluster = LocalCluster(n_workers=arguments.workers, threads_per_worker=1, processes=True,
                           dashboard_address=None)
    return Client(cluster), cluster


def write_table(results, output):
    output.mkdir(parents=True, exist_ok=True)
    with open(output / "ensemble.csv", "w", newline="") as table:
        writer = csv.DictWriter(table, fieldnames=list(results[0]))
        writer.writeheader()
        writer.writerows(results)
    header = "size  wall        converged  steps  wall p/p_inf  wall T/T_inf  peak T/T_inf  seconds"
    print(header)
    for r in results:
        print(f"{r['size']:4d}  {r['wall']:<10}  {str(r['converged']):<9}  {r['steps']:5d}  "
              f"{r['wall_p_ratio']:12.4f}  {r['wall_T_ratio']:12.4f}  {r['peak_T_ratio']:12.4f}  "
              f"{r['seconds']:7.1f}")


def plot(results, output):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, axes = plt.subplots(1, 2, figsize=(9, 3.6), constrained_layout=True)
    for wall, marker in (("isothermal", "o"), ("adiabatic", "s")):
        runs = sorted((r for r in results if r["wall"] == wall), key=lambda r: r["size"])
        if not runs:
            continue
        sizes = [r["size"] for r in runs]
        axes[0].plot(sizes, [r["wall_p_ratio"] for r in runs], marker=marker, label=wall)
        axes[1].plot(sizes, [r["wall_T_ratio"] for r in runs], marker=marker, label=wall)
    axes[0].set(xlabel="nodes a side", ylabel="p / p_inf at the trailing edge's wall")
    axes[1].set(xlabel="nodes a side", ylabel="T / T_inf at the trailing edge's wall")
    for ax in axes:
        ax.legend()
        ax.grid(alpha=0.3)
    figure.savefig(output / "ensemble.png", dpi=110)
    plt.close(figure)


def main(argv=None):
    arguments = parse_arguments(argv)
    client, cluster = connect(arguments)
    try:
        started = time.perf_counter()
        # Longest first: the finest mesh and the insulated wall take the most steps, and a
        # worker that starts them last would leave the others idle at the end.
        cases = sorted(((size, wall) for size in arguments.sizes for wall in arguments.walls),
                       key=lambda case: (-case[0], case[1] != "adiabatic"))
        futures = [client.submit(run_case, size, wall, arguments.tolerance, arguments.max_steps,
                                 pure=False)
                   for size, wall in cases]
        results = client.gather(futures)
        elapsed = time.perf_counter() - started
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    write_table(results, arguments.output)
    plot(results, arguments.output)
    workers = "a remote cluster" if arguments.scheduler else f"{arguments.workers or 'one a core'} worker(s)"
    print(f"{len(results)} runs in {elapsed:.1f} s wall time on {workers}; "
          f"table and plot in {arguments.output}")
    return 0 if all(r["converged"] for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
