"""Bit-for-bit comparison of float64 results."""

import numpy as np

from doubles import Double


def assert_same_bits(actual, expected):
    """`actual` is a plain float64 ndarray with `expected`'s shape and exactly its bytes (so -0.0 differs from
    0.0 and NaN payloads count). `expected` holds floats, or the Doubles of a reference: where two NaNs of
    different bits met in an addition or a multiplication, the bits of either will do."""
    expected = np.asarray(expected, dtype=object)
    assert type(actual) is np.ndarray
    assert actual.dtype == np.float64
    assert actual.shape == expected.shape
    allowed = [Double(value) for value in expected.flat]
    got = actual.view(np.uint64).ravel().tolist()
    mismatches = [k for k, (bits, double) in enumerate(zip(got, allowed)) if bits not in double.bits]
    if mismatches:
        first = mismatches[0]
        where = np.unravel_index(first, actual.shape)
        raise AssertionError(
            f"{len(mismatches)} of {actual.size} elements differ; first at {[int(k) for k in where]}: "
            f"0x{got[first]:016x} ({actual[where]!r}), expected {allowed[first]!r}"
        )
