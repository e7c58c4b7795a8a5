"""vosterin_peak_search_cy against the NumPy expression a user would write and a plain C++ loop.

Targets: at n = 1 000 000 contiguous, at least 3x faster than NumPy and within 1.5x of the plain loop; at
n = 16, at most 1.3x the cost of the two zeros_like calls every call must make, timed from Python on a
memoryview (writable, as a caller would write it; read-only, as the module's own view objects are)."""

import ctypes

import numpy as np

from harness import build_baseline, pointer, print_table, seconds_per_call, use_reusing_allocator
from tavmir.utils.numerics.native.vosterin import vosterin_peak_search_cy


def numpy_expression(y):
    S = np.zeros_like(y)
    F = np.zeros_like(y)
    S[1:-1] = (y[:-2] - (y[1:-1] + y[1:-1])) + y[2:]
    F[1:-1] = np.sqrt((y[:-2] + 4.0 * y[1:-1]) + y[2:])
    return S, F


def mandated_calls(y):
    return np.zeros_like(memoryview(y), dtype=np.float64), np.zeros_like(memoryview(y), dtype=np.float64)


def main():
    use_reusing_allocator()
    baseline = build_baseline("vosterin_baseline")
    baseline.time_loop.restype = baseline.time_loop_with_fresh_results.restype = ctypes.c_double
    rng = np.random.default_rng(0)
    rows = []
    for n in (16, 10_000, 1_000_000):
        for layout in ("contiguous", "every second"):
            base = rng.poisson(100.0, 2 * n).astype(np.float64)
            y = base[:n] if layout == "contiguous" else base[::2]
            kernel = seconds_per_call(lambda: vosterin_peak_search_cy(y))
            row = [n, layout, seconds_per_call(lambda: numpy_expression(y)) / kernel]
            if layout == "contiguous":
                S, F = np.zeros(n), np.zeros(n)
                repeats = max(5, 20_000_000 // n)
                loop = baseline.time_loop(pointer(y), pointer(S), pointer(F), n, repeats)
                fresh = baseline.time_loop_with_fresh_results(pointer(y), n, repeats)
                row += [kernel / loop, kernel / fresh]
            else:
                row += ["", ""]
            if n == 16:
                read_only = y.copy()
                read_only.flags.writeable = False
                row += [kernel / seconds_per_call(lambda: mandated_calls(y)),
                        kernel / seconds_per_call(lambda: mandated_calls(read_only))]
            else:
                row += ["", ""]
            rows.append(row)
    print_table(
        "vosterin_peak_search_cy (ratios; below 1 means the kernel is faster)",
        ["n", "layout", "NumPy / kernel", "kernel / plain loop", "kernel / loop + calloc",
         "kernel / zeros_like x2 (writable)", "kernel / zeros_like x2 (read-only)"],
        rows,
    )


if __name__ == "__main__":
    main()
