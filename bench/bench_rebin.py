"""rebin_histogram_cy against the NumPy recipe a user would write (the cumulative count, linearly interpolated
at the new edges, differenced) and the same sweep as a plain C++ loop over contiguous arrays.

Targets: faster than the NumPy recipe at every size and at least 2x at the large sizes; within 1.3x of the
plain loop; at 64 bins, a call within 1.5x of the NumPy calls every call must make, np.zeros(new_n,
dtype=np.float64) and np.asarray of an object that exports the result, timed from Python. At 64 bins the
module's time is mostly the fixed cost of a call (binding, four buffer requests, the NumPy calls)."""

import ctypes

import numpy as np

from harness import Measurement, batch, best_times, build_baseline, keep_freed_memory, pointer, print_table
from tavmir.utils.numerics.native.rebin import rebin_histogram_cy

FUNCTION = "rebin_histogram_cy"
SIZES = [(1_000_000, 100_000), (100_000, 1_000_000), (64, 64)]


def numpy_recipe(energy_axis, count_axis, new_energy_axis):
    cumulative = np.concatenate(([0.0], np.cumsum(count_axis)))
    return np.diff(np.interp(new_energy_axis, energy_axis, cumulative))


def histogram(rng, old_n, new_n):
    """Ascending edges of uneven width over the same range (the new ones reaching a little past the old) and
    counts like those of a spectrum."""
    energy_axis = np.cumsum(rng.uniform(0.5, 1.5, old_n + 1))
    energy_axis *= 1000.0 / energy_axis[-1]
    new_energy_axis = np.cumsum(rng.uniform(0.5, 1.5, new_n + 1))
    new_energy_axis = -1.0 + new_energy_axis * (1002.0 / new_energy_axis[-1])
    return energy_axis, rng.poisson(100.0, old_n).astype(np.float64), new_energy_axis


def loop_batch(baseline, energy_axis, count_axis, new_energy_axis, new_counts, calls):
    arguments = (pointer(energy_axis), pointer(count_axis), ctypes.c_ssize_t(len(count_axis)),
                 pointer(new_energy_axis), ctypes.c_ssize_t(len(new_counts)), pointer(new_counts),
                 ctypes.c_ssize_t(calls))
    return lambda: baseline.rebin_repeated(*arguments)


def measure():
    baseline = build_baseline("rebin_baseline")
    measurements = []
    for old_n, new_n in SIZES:
        arguments = histogram(np.random.default_rng(old_n + new_n), old_n, new_n)
        new_counts = np.zeros(new_n)
        calls = max(1, 20_000 // (old_n + new_n) * 10)
        batches = {
            "kernel": batch(lambda: rebin_histogram_cy(*arguments), calls),
            "NumPy": batch(lambda: numpy_recipe(*arguments), calls),
            "C++ loop": loop_batch(baseline, *arguments, new_counts, calls),
        }
        if old_n < 1000:
            exporter = memoryview(np.zeros(new_n))
            batches["np.zeros + np.asarray"] = batch(
                lambda: (np.zeros(new_n, dtype=np.float64), np.asarray(exporter)), calls)
        times = best_times(batches, calls, rounds=15)
        loop_batch(baseline, *arguments, new_counts, 1)()  # the loop computes what the module computes
        assert rebin_histogram_cy(*arguments).tobytes() == new_counts.tobytes()
        measurements.append(Measurement(FUNCTION, f"{old_n:,} -> {new_n:,} bins", old_n + new_n, times))
    print_ratios(measurements)
    return measurements


def print_ratios(measurements):
    rows = []
    for m in measurements:
        t = m.seconds
        mandated = t["kernel"] / t["np.zeros + np.asarray"] if "np.zeros + np.asarray" in t else ""
        rows.append([m.case, t["NumPy"] / t["kernel"], t["kernel"] / t["C++ loop"], mandated])
    print_table(
        f"{FUNCTION} (NumPy / kernel above 1: the kernel is faster; kernel / reference below 1: likewise)",
        ["old -> new bins", "NumPy / kernel", "kernel / C++ loop", "kernel / np.zeros + np.asarray"],
        rows,
    )


if __name__ == "__main__":
    keep_freed_memory()
    measure()
