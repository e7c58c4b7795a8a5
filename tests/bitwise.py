"""Bit-for-bit comparison of float64 results."""

import numpy as np


def assert_same_bits(actual, expected):
    """`actual` is a plain float64 ndarray with `expected`'s shape and exactly its bytes (so -0.0 differs from
    0.0 and NaN payloads count)."""
    expected = np.asarray(expected, dtype=np.float64)
    assert type(actual) is np.ndarray
    assert actual.dtype == np.float64
    assert actual.shape == expected.shape
    mismatch = actual.view(np.uint64) != expected.view(np.uint64)
    assert not mismatch.any(), (
        f"{int(mismatch.sum())} of {actual.size} elements differ; first at {np.argwhere(mismatch)[0].tolist()}: "
        f"{actual[mismatch][0]!r} != {expected[mismatch][0]!r}"
    )
