"""Eight threads calling all four functions at once on shared inputs get, call by call, the bytes a single
thread gets: calls share nothing but the module's read-only state, and views taken at the same time on one
exporter (a NumPy array, an array.array, a rebin view object) are counted and given back correctly."""

import array
import sys
import threading

import numpy as np
import pytest
from layouts import every_second, read_only, reversed_view

from tavmir.utils.numerics.native.gaussian import multi_gaussian_cy, multi_gaussian_jacobian_cy
from tavmir.utils.numerics.native.rebin import rebin_histogram_cy
from tavmir.utils.numerics.native.vosterin import vosterin_peak_search_cy

THREADS = 8
ROUNDS = 400

rng = np.random.default_rng(8)
SPECTRUM = rng.poisson(40.0, 257).astype(np.float64)
EDGES = np.cumsum(rng.uniform(0.1, 1.0, 101))
COUNTS = rng.uniform(0.0, 50.0, 100)
NEW_EDGES = np.linspace(EDGES[0] - 1.0, EDGES[-1] + 1.0, 37)
X = np.linspace(-5.0, 5.0, 101)
PARAMS = np.array([3.0, -1.0, 0.5, 1.5, 2.0, 2.0, -0.5, 0.0, 9.0])

# Shared by every thread: strided, reversed and read-only views, a foreign exporter, and view objects that
# rebin results export their memory through, passed back in as arguments.
# Inputs of one function differ in their values, so a result computed from another call's input shows.
SHARED_SPECTRUM = every_second(SPECTRUM[::-1])
READ_ONLY_SPECTRUM = read_only(np.sqrt(SPECTRUM))[::-1]
FOREIGN_SPECTRUM = array.array("d", SPECTRUM + 0.5)
REBINNED = rebin_histogram_cy(EDGES, COUNTS, NEW_EDGES)
REBINNED_EDGES = rebin_histogram_cy(EDGES, COUNTS, np.linspace(0.0, 60.0, 38))
REVERSED_COUNTS = reversed_view(COUNTS)
READ_ONLY_X, READ_ONLY_PARAMS = read_only(X)[::-1], read_only(PARAMS)[::2]

CALLS = [
    (vosterin_peak_search_cy, (SPECTRUM,)),
    (vosterin_peak_search_cy, (SHARED_SPECTRUM,)),
    (vosterin_peak_search_cy, (READ_ONLY_SPECTRUM,)),
    (vosterin_peak_search_cy, (FOREIGN_SPECTRUM,)),
    (rebin_histogram_cy, (EDGES, COUNTS, NEW_EDGES)),
    (rebin_histogram_cy, (every_second(EDGES), REVERSED_COUNTS, NEW_EDGES[::2])),
    # View objects: 37 values as the edges, 36 as the counts, 37 again as the new edges.
    (rebin_histogram_cy, (REBINNED_EDGES.base.obj, REBINNED.base.obj, REBINNED_EDGES.base.obj)),
    (multi_gaussian_cy, (X, PARAMS)),
    (multi_gaussian_cy, (READ_ONLY_X, READ_ONLY_PARAMS)),
    (multi_gaussian_jacobian_cy, (X, PARAMS)),
    (multi_gaussian_jacobian_cy, (READ_ONLY_X, READ_ONLY_PARAMS)),
]


def result_bytes(result):
    return [part.tobytes() for part in result] if type(result) is tuple else [result.tobytes()]


@pytest.fixture
def frequent_switches():
    """Makes the interpreter switch threads as often as it can, so that calls interleave wherever they run
    Python code (NumPy's zeros_like, for one)."""
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(interval)


def test_threads_get_the_single_threaded_bytes(frequent_switches):
    expected = [result_bytes(function(*args)) for function, args in CALLS]
    start = threading.Barrier(THREADS)
    mismatches, errors = [], []

    def work(offset):
        try:
            start.wait()
            for round in range(ROUNDS):
                # Each thread walks the calls from another place, so different calls overlap.
                for k in range(len(CALLS)):
                    index = (k + offset + round) % len(CALLS)
                    function, args = CALLS[index]
                    if result_bytes(function(*args)) != expected[index]:
                        mismatches.append(index)
        except Exception as error:  # noqa: BLE001 - reported below
            errors.append(error)

    threads = [threading.Thread(target=work, args=(offset,)) for offset in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()

    assert errors == []
    assert mismatches == []
    FOREIGN_SPECTRUM.append(0.0)  # refused while any call still held a buffer on it
    FOREIGN_SPECTRUM.pop()
