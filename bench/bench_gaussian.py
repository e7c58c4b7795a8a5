"""Speed of the gaussian module against, in the same run, the NumPy broadcast expressions a user would write and
plain C++ loops (bench/gaussian_baseline.cpp, compiled here with the package's floating-point flags and called
through ctypes).

    python bench/bench_gaussian.py        # with the package installed

Every figure is a ratio of times measured in this run: the module's time over the reference's, so below 1 means
the module is faster. Each time is the best of several rounds, the candidates taking turns in every round.

glibc's allocator is set to keep and reuse freed memory (no mmap, no trimming), so a large result is made in
memory that earlier calls have already touched: otherwise every call of np.zeros for a multi-megabyte result
pays page faults that cost more than the arithmetic, for the module and for NumPy alike. The C++ loops write
into a result allocated once, so the module's ratio includes its mandated np.zeros.
"""

import ctypes

import numpy as np

from harness import Measurement, batch, best_times, build_baseline, keep_freed_memory, pointer
from tavmir.utils.numerics.native.gaussian import multi_gaussian_cy, multi_gaussian_jacobian_cy

LARGE_CASES = [(100_000, 1), (100_000, 5), (100_000, 20)]
SMALL_CASE = (64, 3)
NESTINGS = ["peaks outer", "samples outer"]


def load_baseline():
    baseline = build_baseline("gaussian_baseline")
    double_pointer = ctypes.POINTER(ctypes.c_double)
    baseline.repeat.argtypes = [ctypes.c_void_p, double_pointer, ctypes.c_ssize_t, double_pointer, ctypes.c_ssize_t,
                                double_pointer, ctypes.c_ssize_t]
    baseline.repeat.restype = None
    return baseline


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


FUNCTIONS = {"model": (multi_gaussian_cy, numpy_model), "jacobian": (multi_gaussian_jacobian_cy, numpy_jacobian)}


def spectrum(m, n_gauss):
    """m samples over [0, 1000] with peaks of standard deviation 45 to 140 anywhere in it: every exponent lies
    within [-250, 0], where exp takes its ordinary path."""
    rng = np.random.default_rng(m + n_gauss)
    x = np.linspace(0.0, 1000.0, m)
    A = rng.uniform(10.0, 100.0, n_gauss)
    mu = rng.uniform(0.0, 1000.0, n_gauss)
    variance = rng.uniform(2e3, 2e4, n_gauss)
    return x, np.column_stack([A, mu, variance]).ravel()


def loop_run(baseline, loop, x, params, count, out, repeats):
    """One call from Python that runs a C++ loop `repeats` times; the loop writes into `out`, allocated once."""
    arguments = (ctypes.cast(loop, ctypes.c_void_p), pointer(x), x.size, pointer(params), count, pointer(out))
    return lambda: baseline.repeat(*arguments, repeats)


def loop_arguments(baseline, name, nesting, x, params):
    """The loop of one function and nesting, with what it needs besides x and params: the number of peaks or
    parameters, and a result."""
    loop = getattr(baseline, f"{name}_{nesting.replace(' ', '_')}")
    if name == "model":
        return loop, params.size // 3, np.zeros(x.size)
    return loop, params.size, np.zeros((x.size, params.size))


def timed_batches(baseline, x, params, calls):
    """For both functions, batches of `calls` calls of the module and of the NumPy expression, and `calls` runs of
    the C++ loop in both nestings, repeated inside C++."""
    batches = {}
    for name, (module_function, numpy_function) in FUNCTIONS.items():
        batches[name] = batch(lambda f=module_function: f(x, params), calls)
        batches[f"{name} numpy"] = batch(lambda f=numpy_function: f(x, params), calls)
        for nesting in NESTINGS:
            loop, count, out = loop_arguments(baseline, name, nesting, x, params)
            batches[f"{name} loop, {nesting}"] = loop_run(baseline, loop, x, params, count, out, calls)
    return batches


def check_same_values(baseline, x, params):
    """The loops compute what the module computes, bit for bit, so the times compare like with like."""
    for name, (module_function, _) in FUNCTIONS.items():
        for nesting in NESTINGS:
            loop, count, out = loop_arguments(baseline, name, nesting, x, params)
            loop_run(baseline, loop, x, params, count, out, repeats=1)()
            assert np.array_equal(out, module_function(x, params)), (name, nesting)


def measurements_of(times, m, n_gauss):
    """The times of one case for the report: each function against NumPy and its faster C++ loop."""
    return [
        Measurement(function.__name__, f"m = {m:,}, {n_gauss} peak{'s' if n_gauss != 1 else ''}", m * n_gauss, {
            "kernel": times[name],
            "NumPy": times[f"{name} numpy"],
            "C++ loop": min(times[f"{name} loop, {nesting}"] for nesting in NESTINGS),
        })
        for name, (function, _) in FUNCTIONS.items()
    ]


def large_case(baseline, m, n_gauss):
    x, params = spectrum(m, n_gauss)
    check_same_values(baseline, x, params)
    times = best_times(timed_batches(baseline, x, params, calls=3), calls=3, rounds=15)
    print(f"m = {m}, {n_gauss} peak{'s' if n_gauss > 1 else ''}: module time / reference time")
    for name in FUNCTIONS:
        for reference in [f"loop, {nesting}" for nesting in NESTINGS] + ["numpy"]:
            print(f"  {name:8} / {reference:20} {times[name] / times[f'{name} {reference}']:6.2f}")
    return measurements_of(times, m, n_gauss)


def small_case(baseline, m, n_gauss):
    """The cost of a call beyond its arithmetic, against the np.zeros call from Python that makes its result.

    The arithmetic is the faster loop's, measured two ways: called once from Python (through ctypes, less what a
    call of it without samples costs), where exp's tables and code are as cold as in a call of the module, and
    repeated inside C++, where they stay warm; the second leaves the module that difference to pay as well."""
    x, params = spectrum(m, n_gauss)
    check_same_values(baseline, x, params)
    calls = 2000
    batches = timed_batches(baseline, x, params, calls) | {
        "model np.zeros": batch(lambda: np.zeros(m, dtype=np.float64), calls),
        "jacobian np.zeros": batch(lambda: np.zeros((m, params.size)), calls),
    }
    for name in FUNCTIONS:
        for nesting in NESTINGS:
            for samples, label in [(x, "once"), (x[:0], "once, no samples")]:
                loop, count, out = loop_arguments(baseline, name, nesting, x, params)
                run = loop_run(baseline, loop, samples, params, count, out, repeats=1)
                batches[f"{name} loop, {nesting}, {label}"] = batch(run, calls)
    times = best_times(batches, calls, rounds=25)
    print(f"m = {m}, {n_gauss} peaks: cost of a call beyond its arithmetic / np.zeros from Python")
    for name in FUNCTIONS:
        once = min(
            times[f"{name} loop, {nesting}, once"] - times[f"{name} loop, {nesting}, once, no samples"]
            for nesting in NESTINGS
        )
        repeated = min(times[f"{name} loop, {nesting}"] for nesting in NESTINGS)
        for arithmetic, label in [(once, "called once"), (repeated, "repeated in C++")]:
            beyond = (times[name] - arithmetic) / times[f"{name} np.zeros"]
            print(f"  {name:8} arithmetic of the loop {label:16} {beyond:6.2f}")
    print(f"m = {m}, {n_gauss} peaks: module time / reference time")
    for name in FUNCTIONS:
        print(f"  {name:8} / numpy {times[name] / times[f'{name} numpy']:21.2f}")
    return measurements_of(times, m, n_gauss)


def measure():
    """Prints the comparisons case by case and returns the times for the report."""
    baseline = load_baseline()
    measurements = []
    for m, n_gauss in LARGE_CASES:
        measurements += large_case(baseline, m, n_gauss)
    return measurements + small_case(baseline, *SMALL_CASE)


if __name__ == "__main__":
    print(f"allocator keeps freed memory: {'yes' if keep_freed_memory() else 'no (not glibc?)'}")
    measure()
