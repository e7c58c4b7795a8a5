"""Histogram rebinning in plain Python, for bit-for-bit comparisons with the compiled module.

Every element is read where the sweep reads it and written where it writes it, and every operation is one
IEEE operation on Doubles, rounded on its own, in the same order, so the results agree to the bit. Arrays are
read and written live, which keeps the results right when the new counts share memory with an input."""

import numpy as np

from doubles import Double

OUT_OF_BOUNDS = "Out of bounds on buffer access (axis 0)"


def checked(values, index):
    """values[index] by checked element access (indices here are never negative)."""
    if index >= len(values):
        raise IndexError(OUT_OF_BOUNDS)
    return Double(values[index])


def sweep(energy_axis, count_axis, new_energy_axis, new_counts):
    """Adds the count of every old bin into the new bins it overlaps, in place. Writes into new_counts are
    checked too: the compiled sweep checks them when new_counts is shorter than the new bins."""
    old_n = len(count_axis)
    new_n = len(new_energy_axis) - 1
    c = 0
    for b in range(old_n):
        old_left = checked(energy_axis, b)
        old_right = checked(energy_axis, b + 1)
        old_width = old_right - old_left
        if old_width <= 0:
            continue
        while c < new_n and Double(new_energy_axis[c + 1]) <= old_left:
            c += 1
        m = c
        while m < new_n and Double(new_energy_axis[m]) < old_right:
            new_left = Double(new_energy_axis[m])
            new_right = Double(new_energy_axis[m + 1])
            # Written out rather than min() and max(), to show that ties and NaNs pick the old edge.
            overlap = (new_right if new_right < old_right else old_right) - (
                new_left if new_left > old_left else old_left
            )
            if overlap > 0:
                new_counts[m] = checked(new_counts, m) + Double(count_axis[b]) * (overlap / old_width)
            m += 1


def rebin(energy_axis, count_axis, new_energy_axis):
    """The rebinned counts, an array of Doubles; None stands for an empty array."""
    energy_axis, count_axis, new_energy_axis = (
        [] if a is None else a for a in (energy_axis, count_axis, new_energy_axis)
    )
    # np.full raises NumPy's own error for an empty new_energy_axis, as np.zeros does in the module.
    new_counts = np.full(len(new_energy_axis) - 1, Double(0.0), dtype=object)
    sweep(energy_axis, count_axis, new_energy_axis, new_counts)
    return new_counts
