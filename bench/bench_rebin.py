"""Speed of rebin_histogram_cy, as ratios to references measured in the same run:

- the NumPy recipe a user would write: the cumulative count, linearly interpolated at the new edges, differenced;
- the same sweep as a plain C++ loop over contiguous arrays (bench/rebin_baseline.cpp, compiled here with the
  package's flags and timing itself);
- at 64 bins, the two NumPy calls every call must make, np.zeros(new_n, dtype=np.float64) and np.asarray of an
  object that exports the result through the buffer protocol, timed from Python.

At 64 bins the module's time is mostly the fixed cost of a call (binding, four buffer requests, the NumPy
calls), so its ratio to the plain loop there measures that cost rather than the sweep.

Run against the installed package: python -P bench/bench_rebin.py
"""

import ctypes
import os
import pathlib
import subprocess
import tempfile
import timeit

# Nothing here calls BLAS; OpenBLAS's idle worker threads would only compete with the timed code for cores.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np  # noqa: E402

from tavmir.utils.numerics.native.rebin import rebin_histogram_cy  # noqa: E402

SIZES = [(1_000_000, 100_000), (100_000, 1_000_000), (64, 64)]
FLAGS = ["-O3", "-ffp-contract=off", "-fno-math-errno", "-std=c++20"]


def numpy_recipe(energy_axis, count_axis, new_energy_axis):
    cumulative = np.concatenate(([0.0], np.cumsum(count_axis)))
    return np.diff(np.interp(new_energy_axis, energy_axis, cumulative))


def load_baseline(folder):
    source = pathlib.Path(__file__).with_name("rebin_baseline.cpp")
    library = pathlib.Path(folder) / "rebin_baseline.so"
    subprocess.run(["g++", *FLAGS, "-shared", "-fPIC", str(source), "-o", str(library)], check=True)
    function = ctypes.CDLL(str(library)).rebin_baseline_ns
    pointer, size = ctypes.POINTER(ctypes.c_double), ctypes.c_ssize_t
    function.argtypes = [pointer, pointer, size, pointer, size, pointer, ctypes.c_int, ctypes.c_int]
    function.restype = ctypes.c_double

    def baseline_ns(energy_axis, count_axis, new_energy_axis, calls, repeats):
        new_counts = np.empty(len(new_energy_axis) - 1)
        arrays = [a.ctypes.data_as(pointer) for a in (energy_axis, count_axis, new_energy_axis, new_counts)]
        old_n, new_n = len(count_axis), len(new_counts)
        return function(arrays[0], arrays[1], old_n, arrays[2], new_n, arrays[3], calls, repeats), new_counts

    return baseline_ns


def histogram(rng, old_n, new_n):
    """Ascending edges of uneven width over the same range (the new ones reaching a little past the old) and
    counts like those of a spectrum."""
    energy_axis = np.cumsum(rng.uniform(0.5, 1.5, old_n + 1))
    energy_axis *= 1000.0 / energy_axis[-1]
    new_energy_axis = np.cumsum(rng.uniform(0.5, 1.5, new_n + 1))
    new_energy_axis = -1.0 + new_energy_axis * (1002.0 / new_energy_axis[-1])
    return energy_axis, rng.poisson(100.0, old_n).astype(np.float64), new_energy_axis


def python_ns(statement, calls, repeats, **names):
    """Time of one run of `statement` in the fastest of `repeats` rounds of `calls` runs, in nanoseconds."""
    timer = timeit.Timer(statement, globals=names)
    return min(timer.repeat(repeat=repeats, number=calls)) / calls * 1e9


def compare_sizes(baseline_ns):
    print(
        f"{'old bins -> new bins':>24}  {'NumPy recipe / module':>22}  {'module / plain loop':>20}  "
        f"{'NumPy recipe / plain loop':>26}"
    )
    for old_n, new_n in SIZES:
        arguments = histogram(np.random.default_rng(old_n + new_n), old_n, new_n)
        calls, repeats = (20_000, 30) if old_n < 1000 else (1, 30)
        module = numpy = baseline = float("inf")
        # Interleaved rounds, so that a slow spell of the machine falls on all three alike.
        for _ in range(repeats):
            module = min(
                module,
                python_ns("f(e, c, n)", calls, 1, f=rebin_histogram_cy, e=arguments[0], c=arguments[1], n=arguments[2]),
            )
            numpy = min(
                numpy, python_ns("f(e, c, n)", calls, 1, f=numpy_recipe, e=arguments[0], c=arguments[1], n=arguments[2])
            )
            ns, baseline_counts = baseline_ns(*arguments, calls, 1)
            baseline = min(baseline, ns)
        assert rebin_histogram_cy(*arguments).tobytes() == baseline_counts.tobytes()
        print(
            f"{old_n:>11,} -> {new_n:<10,}  {numpy / module:>21.2f}x  {module / baseline:>19.2f}x  "
            f"{numpy / baseline:>25.2f}x"
        )


def compare_call_cost():
    energy_axis, count_axis, new_energy_axis = histogram(np.random.default_rng(0), 64, 64)
    exporter = memoryview(np.zeros(64))
    calls, repeats = 20_000, 30
    module = mandated = float("inf")
    for _ in range(repeats):
        module = min(
            module,
            python_ns("f(e, c, n)", calls, 1, f=rebin_histogram_cy, e=energy_axis, c=count_axis, n=new_energy_axis),
        )
        mandated = min(
            mandated,
            python_ns(
                "zeros(64, dtype=float64); asarray(exporter)",
                calls,
                1,
                zeros=np.zeros,
                float64=np.float64,
                asarray=np.asarray,
                exporter=exporter,
            ),
        )
    print(f"64 bins, one call / (np.zeros + np.asarray from Python): {module / mandated:.2f}x")


def main():
    with tempfile.TemporaryDirectory() as folder:
        baseline_ns = load_baseline(folder)
        compare_sizes(baseline_ns)
    compare_call_cost()


if __name__ == "__main__":
    main()
