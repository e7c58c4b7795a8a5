"""Speed of the gaussian module against, in the same run, the NumPy broadcast expressions a user would write and
plain C++ loops (bench/gaussian_baseline.cpp, compiled here with the package's floating-point flags and called
through ctypes).

    python bench/bench_gaussian.py        # with the package installed, e.g. VENV/bin/python -P

Every figure is a ratio of times measured in this run: the module's time over the reference's, so below 1 means
the module is faster. Each time is the best of several rounds, the candidates taking turns in every round.

glibc's allocator is set to keep and reuse freed memory (no mmap, no trimming), so a large result is made in
memory that earlier calls have already touched: otherwise every call of np.zeros for a multi-megabyte result
pays page faults that cost more than the arithmetic, for the module and for NumPy alike. The C++ loops write
into a result allocated once, so the module's ratio includes its mandated np.zeros.
"""

import ctypes
import pathlib
import subprocess
import sys
import tempfile
import time

import numpy as np

from tavmir.utils.numerics.native.gaussian import multi_gaussian_cy, multi_gaussian_jacobian_cy

FLAGS = ["-O3", "-ffp-contract=off", "-fno-math-errno", "-std=c++20"]
LARGE_CASES = [(100_000, 1), (100_000, 5), (100_000, 20)]
SMALL_CASE = (64, 3)


def keep_freed_memory():
    """Lets glibc's malloc serve every size from its heap and never give freed memory back to the system."""
    M_TRIM_THRESHOLD, M_TOP_PAD, M_MMAP_MAX = -1, -2, -4
    libc = ctypes.CDLL(None)
    settings = [(M_MMAP_MAX, 0), (M_TRIM_THRESHOLD, 2**30), (M_TOP_PAD, 2**26)]
    return all(libc.mallopt(option, value) == 1 for option, value in settings)


def load_baseline(folder):
    source = pathlib.Path(__file__).with_name("gaussian_baseline.cpp")
    library = pathlib.Path(folder) / "gaussian_baseline.so"
    subprocess.run(["g++", *FLAGS, "-shared", "-fPIC", "-o", str(library), str(source)], check=True)
    baseline = ctypes.CDLL(str(library))
    pointer = ctypes.POINTER(ctypes.c_double)
    for name in ["model_peaks_outer", "model_samples_outer", "jacobian_peaks_outer", "jacobian_samples_outer"]:
        getattr(baseline, name).argtypes = [pointer, ctypes.c_ssize_t, pointer, ctypes.c_ssize_t, pointer]
        getattr(baseline, name).restype = None
    return baseline


def address(array):
    return array.ctypes.data_as(ctypes.POINTER(ctypes.c_double))


def numpy_model(x, params):
    A, mu, var = params[0::3], params[1::3], params[2::3]
    return (A * np.exp(-0.5 * (x[:, None] - mu) ** 2 / var)).sum(axis=1)


def numpy_jacobian(x, params):
    A, mu, var = params[0::3], params[1::3], params[2::3]
    dx = x[:, None] - mu
    e = np.exp(-0.5 * dx**2 / var)
    J = np.zeros((x.size, params.size))
    J[:, 0::3] = e
    J[:, 1::3] = A * e * dx / var
    J[:, 2::3] = A * e * dx**2 / (2.0 * var**2)
    return J


def spectrum(m, n_gauss):
    """m samples over [0, 1000] with peaks of standard deviation 45 to 140 anywhere in it: every exponent lies
    within [-250, 0], where exp takes its ordinary path."""
    rng = np.random.default_rng(m + n_gauss)
    x = np.linspace(0.0, 1000.0, m)
    A = rng.uniform(10.0, 100.0, n_gauss)
    mu = rng.uniform(0.0, 1000.0, n_gauss)
    variance = rng.uniform(2e3, 2e4, n_gauss)
    return x, np.column_stack([A, mu, variance]).ravel()


def best_times(candidates, calls, rounds):
    """The best time per call of each candidate over `rounds` rounds of `calls` calls, taking turns."""
    best = dict.fromkeys(candidates, float("inf"))
    for _ in range(rounds):
        for name, run in candidates.items():
            start = time.perf_counter()
            for _ in range(calls):
                run()
            best[name] = min(best[name], (time.perf_counter() - start) / calls)
    return best


def baseline_call(function, x, params, count, out):
    x_address, params_address, out_address = address(x), address(params), address(out)
    return lambda: function(x_address, x.size, params_address, count, out_address)


def check_same_values(baseline, x, params):
    """The loops compute what the module computes, bit for bit, so the times compare like with like."""
    n_gauss, n = params.size // 3, params.size
    for loop in [baseline.model_peaks_outer, baseline.model_samples_outer]:
        y = np.zeros(x.size)
        baseline_call(loop, x, params, n_gauss, y)()
        assert np.array_equal(y, multi_gaussian_cy(x, params))
    for loop in [baseline.jacobian_peaks_outer, baseline.jacobian_samples_outer]:
        J = np.zeros((x.size, n))
        baseline_call(loop, x, params, n, J)()
        assert np.array_equal(J, multi_gaussian_jacobian_cy(x, params))


def candidates(baseline, x, params):
    """For both functions: the module, the NumPy expression and the two loops, on results allocated once."""
    n_gauss, n = params.size // 3, params.size
    y, J = np.zeros(x.size), np.zeros((x.size, n))
    return {
        "model": lambda: multi_gaussian_cy(x, params),
        "model numpy": lambda: numpy_model(x, params),
        "model loop, peaks outer": baseline_call(baseline.model_peaks_outer, x, params, n_gauss, y),
        "model loop, samples outer": baseline_call(baseline.model_samples_outer, x, params, n_gauss, y),
        "jacobian": lambda: multi_gaussian_jacobian_cy(x, params),
        "jacobian numpy": lambda: numpy_jacobian(x, params),
        "jacobian loop, peaks outer": baseline_call(baseline.jacobian_peaks_outer, x, params, n, J),
        "jacobian loop, samples outer": baseline_call(baseline.jacobian_samples_outer, x, params, n, J),
    }


def large_case(baseline, m, n_gauss):
    x, params = spectrum(m, n_gauss)
    check_same_values(baseline, x, params)
    times = best_times(candidates(baseline, x, params), calls=3, rounds=15)
    print(f"m = {m}, {n_gauss} peak{'s' if n_gauss > 1 else ''}: module time / reference time")
    for function in ["model", "jacobian"]:
        for reference in ["loop, peaks outer", "loop, samples outer", "numpy"]:
            ratio = times[function] / times[f"{function} {reference}"]
            print(f"  {function:8} / {reference:20} {ratio:6.2f}")


def small_case(baseline, m, n_gauss):
    """The cost of a call beyond its arithmetic, against the np.zeros call from Python that makes its result. The
    arithmetic is the faster loop's time for m samples less its time for none, which is what ctypes costs."""
    x, params = spectrum(m, n_gauss)
    check_same_values(baseline, x, params)
    none = np.zeros(0)
    timed = candidates(baseline, x, params) | {
        f"{name}, no samples": run for name, run in candidates(baseline, none, params).items() if "loop" in name
    }
    timed["model np.zeros"] = lambda: np.zeros(m, dtype=np.float64)
    timed["jacobian np.zeros"] = lambda: np.zeros((m, params.size))
    times = best_times(timed, calls=2000, rounds=15)
    print(f"m = {m}, {n_gauss} peaks:")
    for function in ["model", "jacobian"]:
        arithmetic = min(
            times[f"{function} loop, {nesting}"] - times[f"{function} loop, {nesting}, no samples"]
            for nesting in ["peaks outer", "samples outer"]
        )
        beyond = (times[function] - arithmetic) / times[f"{function} np.zeros"]
        print(f"  {function:8} cost beyond the arithmetic / np.zeros from Python {beyond:6.2f}")
        print(f"  {function:8} / numpy {times[function] / times[f'{function} numpy']:32.2f}")


def main():
    tuned = keep_freed_memory()
    print(f"allocator keeps freed memory: {'yes' if tuned else 'no (not glibc?)'}")
    with tempfile.TemporaryDirectory() as folder:
        baseline = load_baseline(folder)
        for m, n_gauss in LARGE_CASES:
            large_case(baseline, m, n_gauss)
        small_case(baseline, *SMALL_CASE)


if __name__ == "__main__":
    sys.exit(main())
