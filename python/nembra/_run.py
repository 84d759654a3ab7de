"""run(): stepping with stopping rules, periodic callbacks and an optional progress bar."""

import math
import warnings
from typing import NamedTuple


class RunSummary(NamedTuple):
    """What run() did: calls made, the model time reached and why it stopped
    ('calls', 'limit', 'time', 'converged')."""

    calls: int
    model_time: float
    reason: str


def _remaining_calls(solver):
    if hasattr(solver, "max_steps"):
        return max(0, solver.max_steps - solver.step_count)
    return None  # Diffusion: no limit


def _advance(solver, calls, until_time, tolerance):
    if hasattr(solver, "_advance"):
        return solver._advance(calls, until_time, tolerance)
    # Diffusion takes steps of a fixed length: count the steps up to the target time, with
    # model_time computed as the solver computes it.
    if not math.isnan(until_time):
        dt, done = solver.time_interval, solver.step_count
        if not (math.isfinite(dt) and dt > 0):
            raise ValueError("until_time needs a positive, finite time_interval")
        needed = max(0, math.ceil(until_time / dt) - done)
        while (done + needed) * dt < until_time:
            needed += 1
        while needed > 0 and (done + needed - 1) * dt >= until_time:
            needed -= 1
        if needed <= 0:
            return 0, "time"
        if needed <= calls:
            return solver.step(needed), "time"
    return solver.step(calls), "calls"


def _progress_bar(total, enabled):
    if not enabled:
        return None
    try:
        from tqdm.auto import tqdm
    except ImportError:
        warnings.warn("progress=True needs tqdm (Debian: python3-tqdm); running without a bar",
                      RuntimeWarning, stacklevel=3)
        return None
    return tqdm(total=total, unit="call")


def run(self, calls=None, *, until_time=None, until_converged=None, every=None, callback=None,
        progress=False):
    """Steps the solver until one of the targets is met and returns a RunSummary.

    calls            at most this many calls (default: up to max_steps, the step limit)
    until_time       stop after the first call that brings model_time to this many seconds
    until_converged  FlatPlate only: stop once the largest density change of a step falls
                     below this many kg/m^3 (1e-8 is the published criterion)
    every, callback  call callback(solver) after every `every` calls and at the end (live plots)
    progress         show a tqdm progress bar (optional dependency)

    The solver steps without the GIL between callbacks; Ctrl-C stops it between two calls.
    """
    if until_converged is not None and not hasattr(self, "density_change"):
        raise TypeError("until_converged needs a solver that measures convergence (FlatPlate)")
    if every is not None and (not isinstance(every, int) or every < 1):
        raise ValueError("every must be a positive number of calls")
    if callback is not None and not callable(callback):
        raise TypeError("callback must be callable")
    limit = _remaining_calls(self)
    requested = calls
    if calls is None:
        if limit is None and until_time is None:
            raise ValueError("Diffusion.run needs calls or until_time: it has no step limit")
        calls = limit if limit is not None else 2**62
    elif calls < 0:
        raise ValueError("calls must not be negative")
    if limit is not None:
        calls = min(calls, limit)
    target_time = math.nan if until_time is None else float(until_time)
    tolerance = math.nan if until_converged is None else float(until_converged)

    chunk = every
    if chunk is None:
        chunk = max(1, calls // 100) if progress else max(calls, 1)
    bar = _progress_bar(calls, progress)
    done, reason = 0, "calls"
    try:
        while done < calls:
            made, reason = _advance(self, min(chunk, calls - done), target_time, tolerance)
            done += made
            if bar is not None:
                bar.update(made)
                bar.set_postfix(model_time=f"{self.model_time:.4g} s", refresh=False)
            if callback is not None and every is not None and made > 0:
                callback(self)
            if reason != "calls" or made == 0:
                break
    finally:
        if bar is not None:
            bar.close()
    if (reason == "calls" and limit is not None and self.step_count >= self.max_steps
            and (requested is None or requested > done)):
        reason = "limit"
    if callback is not None and every is None:
        callback(self)
    return RunSummary(done, self.model_time, reason)


def attach_run(cls):
    cls.run = run
