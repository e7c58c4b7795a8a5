"""vosterin_peak_search_cy against the NumPy expression a user would write and a plain C++ loop.

Targets: at n = 1 000 000 contiguous, at least 3x faster than NumPy and within 1.5x of the plain loop; at
n = 16, at most 1.3x the cost of the two zeros_like calls every call must make, timed from Python on a
memoryview (writable, as a caller would write it; read-only, as the module's own view objects are: NumPy copies
a read-only prototype that is not an ndarray, so at large n those calls alone cost about as much as the loop)."""

import ctypes

import numpy as np

from harness import (Measurement, batch, best_times, build_baseline, keep_freed_memory, pointer, print_table)
from tavmir.utils.numerics.native.vosterin import vosterin_peak_search_cy

FUNCTION = "vosterin_peak_search_cy"
SIZES = (16, 10_000, 1_000_000)


def numpy_expression(y):
    S = np.zeros_like(y)
    F = np.zeros_like(y)
    S[1:-1] = (y[:-2] - (y[1:-1] + y[1:-1])) + y[2:]
    F[1:-1] = np.sqrt((y[:-2] + 4.0 * y[1:-1]) + y[2:])
    return S, F


def mandated_calls(y):
    return np.zeros_like(memoryview(y), dtype=np.float64), np.zeros_like(memoryview(y), dtype=np.float64)


def measure():
    baseline = build_baseline("vosterin_baseline")
    rng = np.random.default_rng(0)
    measurements = []
    for n in SIZES:
        calls = max(1, 100_000 // n)
        for layout in ("contiguous", "every second"):
            base = rng.poisson(100.0, 2 * n).astype(np.float64)
            y = base[:n] if layout == "contiguous" else base[::2]
            batches = {
                "kernel": batch(lambda: vosterin_peak_search_cy(y), calls),
                "NumPy": batch(lambda: numpy_expression(y), calls),
            }
            if layout == "contiguous":
                S, F = np.zeros(n), np.zeros(n)
                size, repeats = ctypes.c_long(n), ctypes.c_long(calls)
                batches["C++ loop"] = lambda: baseline.loop_repeated(pointer(y), pointer(S), pointer(F), size, repeats)
                batches["C++ loop + calloc"] = lambda: baseline.loop_with_fresh_results_repeated(
                    pointer(y), size, repeats)
            read_only = y.copy()
            read_only.flags.writeable = False
            batches["zeros_like x2, writable"] = batch(lambda: mandated_calls(y), calls)
            batches["zeros_like x2, read-only"] = batch(lambda: mandated_calls(read_only), calls)
            times = best_times(batches, calls, rounds=15)
            measurements.append(Measurement(FUNCTION, f"n = {n:,}, {layout}", n, times))
    print_ratios(measurements)
    return measurements


def print_ratios(measurements):
    def ratio(times, numerator, denominator):
        return times[numerator] / times[denominator] if denominator in times and numerator in times else ""

    rows = [
        [m.case, ratio(m.seconds, "NumPy", "kernel"), ratio(m.seconds, "kernel", "C++ loop"),
         ratio(m.seconds, "kernel", "C++ loop + calloc"), ratio(m.seconds, "kernel", "zeros_like x2, writable"),
         ratio(m.seconds, "kernel", "zeros_like x2, read-only")]
        for m in measurements
    ]
    print_table(
        f"{FUNCTION} (NumPy / kernel above 1: the kernel is faster; kernel / reference below 1: likewise)",
        ["case", "NumPy / kernel", "kernel / C++ loop", "kernel / loop + calloc",
         "kernel / zeros_like x2 (writable)", "kernel / zeros_like x2 (read-only)"],
        rows,
    )


if __name__ == "__main__":
    keep_freed_memory()
    measure()
