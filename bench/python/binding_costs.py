#!/usr/bin/env python3
"""What the Python binding costs next to the library's own step, on the default 70 x 70 mesh.

Each figure is the median over many alternating pairs: one plain time step, then the same time
step plus the thing measured (a field copy, the whole mesh, a row view, a Python boundary hook),
so that both halves of a pair see the same machine load. Prints the medians and their ratio to a
step. Run with the interpreter that has nembra installed:

    python bench/python/binding_costs.py [--pairs 400]
"""

import argparse
import platform
import statistics
import time

import numpy as np

import nembra


class ClosedBoxInPython(nembra.Flow):
    """The library's closed box, written as a Python hook: the cost of a boundary hook."""

    def boundary(self, u, v, T, p, predicted):
        for edge in (np.s_[0, :], np.s_[-1, :], np.s_[:, 0], np.s_[:, -1]):
            u[edge], v[edge], T[edge], p[edge] = 0.0, 0.0, 288.16, 101325.0


def timed(action):
    start = time.perf_counter_ns()
    action()
    return time.perf_counter_ns() - start


def paired_medians(pairs, plain, measured):
    plain_times, measured_times = [], []
    for _ in range(pairs):
        plain_times.append(timed(plain))
        measured_times.append(timed(measured))
    return statistics.median(plain_times), statistics.median(measured_times)


def processor_name():
    try:
        with open("/proc/cpuinfo") as cpuinfo:
            for line in cpuinfo:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or platform.machine()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pairs", type=int, default=400)
    pairs = parser.parse_args().pairs

    flow = nembra.Flow(max_steps=10**8)
    flow.step(200)  # past the first, slower steps of the default field
    hooked = ClosedBoxInPython(max_steps=10**8)
    hooked.step(200)

    cases = {
        "field('rho')": lambda: flow.field("rho"),
        "field('mach')": lambda: flow.field("mach"),
        "mesh()": flow.mesh,
        "row(35)": lambda: flow.row(35),
        "node(35, 35)": lambda: flow.node(35, 35),
    }
    print(f"machine: {processor_name()}, Python {platform.python_version()}, "
          f"{pairs} alternating pairs, medians")
    print(f"{'what':<28}{'step alone':>12}{'extra':>12}{'extra / step':>14}")
    for name, action in cases.items():
        step_ns, both_ns = paired_medians(pairs, flow.step, lambda: (flow.step(), action()))
        extra = max(both_ns - step_ns, 0)
        print(f"{name:<28}{step_ns / 1e3:>10.0f}us{extra / 1e3:>10.1f}us{extra / step_ns:>14.3f}")
    step_ns, hooked_ns = paired_medians(pairs, flow.step, hooked.step)
    extra = max(hooked_ns - step_ns, 0)
    print(f"{'boundary hook (2 a step)':<28}{step_ns / 1e3:>10.0f}us{extra / 1e3:>10.1f}us"
          f"{extra / step_ns:>14.3f}")


if __name__ == "__main__":
    main()
