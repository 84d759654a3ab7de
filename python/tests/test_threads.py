"""step() lets other Python threads run, and one thread at a time works on a solver."""

import threading
import time

import numpy as np

import nembra


def test_a_python_thread_makes_progress_while_step_runs():
    flow = nembra.Flow()
    counted = []
    stop = threading.Event()

    def count():
        n = 0
        while not stop.is_set():
            n += 1
            if n % 1000 == 0:
                counted.append(time.perf_counter())

    counter = threading.Thread(target=count)
    counter.start()
    try:
        time.sleep(0.05)
        start = time.perf_counter()
        flow.step(2000)
        end = time.perf_counter()
    finally:
        stop.set()
        counter.join()
    during = [t for t in counted if start < t < end]
    # With the GIL held for the whole call, the counter would stand still between start and end.
    assert len(during) > 100, f"{len(during)} thousands counted during {end - start:.2f} s"


def test_a_reader_waits_for_a_step_in_another_thread():
    started = threading.Event()

    class Signalling(nembra.Flow):
        def boundary(self, u, v, T, p, predicted):
            started.set()
            u[0, :] = 0.0

    flow = Signalling(imax=30, jmax=30, length_x=1e-5, max_steps=1000)
    flow.step()
    stepping = threading.Thread(target=flow.step, args=(300,))
    stepping.start()
    assert started.wait(10)
    rho = flow.field("rho")  # waits for the whole step() call: never a half-written field
    count = flow.step_count
    stepping.join()
    assert count == 301
    assert np.array_equal(rho, flow.field("rho"))


def test_solvers_step_in_parallel_threads_to_the_same_bits():
    plates = [nembra.FlatPlate(imax=30, jmax=30) for _ in range(2)]
    threads = [threading.Thread(target=p.step, args=(200,)) for p in plates]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    alone = nembra.FlatPlate(imax=30, jmax=30)
    alone.step(200)
    for plate in plates:
        assert plate.mesh().tobytes() == alone.mesh().tobytes()
