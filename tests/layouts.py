"""The same float64 values laid out in memory in the ways callers pass them."""

import numpy as np


def contiguous(values):
    return np.array(values, dtype=np.float64)


def every_second(values):
    """A view with stride 16 into a larger array whose other elements are poison."""
    values = np.asarray(values, dtype=np.float64)
    base = np.full(2 * len(values) + 1, np.nan)
    base[1::2] = values
    return base[1::2]


def reversed_view(values):
    """A view with a negative stride."""
    return np.array(values, dtype=np.float64)[::-1].copy()[::-1]


def read_only(values):
    array = np.array(values, dtype=np.float64)
    array.flags.writeable = False
    return array


LAYOUTS = {
    "contiguous": contiguous,
    "every_second": every_second,
    "reversed": reversed_view,
    "read_only": read_only,
}
