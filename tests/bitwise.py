"""Bit-for-bit comparison of float64 results."""

import numpy as np

from doubles import Double


def assert_same_bits(actual, expected):
    """`actual` is a plain float64 ndarray with `expected`'s shape and exactly its bytes (so -0.0 differs from
    0.0 and NaN payloads count). `expected` holds floats, or the Doubles of a reference: where two NaNs of
    different bits met in an addition or a multiplication, the bits of either will do."""
    assert type(actual) is np.ndarray
    assert actual.dtype == np.float64
    if not (isinstance(expected, np.ndarray) and expected.dtype == np.float64):
        expected = np.asarray(expected, dtype=object)
    assert actual.shape == expected.shape
    mismatches = differing_elements(actual, expected)
    if mismatches:
        where = np.unravel_index(mismatches[0], actual.shape)
        raise AssertionError(
            f"{len(mismatches)} of {actual.size} elements differ; first at {[int(k) for k in where]}: "
            f"0x{int(actual.view(np.uint64)[where]):016x} ({actual[where]!r}), expected {Double(expected[where])!r}"
        )


def differing_elements(actual, expected):
    """The flat indices of the elements of `actual` whose bits `expected` does not allow."""
    got = actual.view(np.uint64)
    if expected.dtype == np.float64:  # compared as a whole, so that large arrays stay cheap
        return np.flatnonzero(got != expected.view(np.uint64)).tolist()
    allowed = (Double(value).bits for value in expected.flat)
    return [k for k, (bits, choices) in enumerate(zip(got.ravel().tolist(), allowed)) if bits not in choices]
