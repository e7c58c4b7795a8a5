"""Hypothesis strategies: float64 values of every kind, and the ways an array of them lies in memory."""

from dataclasses import dataclass

import numpy as np
from hypothesis import strategies as st

from doubles import bits_of, value_of

SIGN = 1 << 63
EXPONENT = 0x7FF << 52
QUIET = 1 << 51
LARGEST_SUBNORMAL = (1 << 52) - 1


def nans():
    """NaNs of either sign, quiet or signalling, with any payload."""
    quiet = st.integers(0, QUIET - 1).map(lambda payload: EXPONENT | QUIET | payload)
    signalling = st.integers(1, QUIET - 1).map(lambda payload: EXPONENT | payload)
    return st.tuples(st.booleans(), quiet | signalling).map(lambda drawn: value_of(drawn[0] * SIGN | drawn[1]))


def subnormals():
    return st.tuples(st.booleans(), st.integers(1, LARGEST_SUBNORMAL)).map(
        lambda drawn: value_of(drawn[0] * SIGN | drawn[1])
    )


SPECIAL = [0.0, -0.0, np.inf, -np.inf, 2.2250738585072014e-308, -1.7976931348623157e308, 1.7976931348623157e308]


def float64s():
    """Any double: small multiples of 1/4 (so that values tie and sums cancel), any finite double (huge and tiny
    ones included), signed zeros, infinities, the extremes, subnormals, and NaNs with payloads."""
    return st.one_of(
        st.integers(-16, 16).map(lambda k: k / 4),
        st.floats(allow_nan=False, allow_infinity=False),
        st.sampled_from(SPECIAL),
        subnormals(),
        nans(),
    )


def in_order(values):
    """Sorted ascending, NaNs last."""
    return sorted(values, key=lambda value: (value != value, 0.0 if value != value else value))


def edge_lists(min_size, max_size):
    """Bin edges: in ascending order, or in any order."""
    return st.tuples(st.lists(float64s(), min_size=min_size, max_size=max_size), st.booleans()).map(
        lambda drawn: in_order(drawn[0]) if drawn[1] else drawn[0]
    )


# What lies around and between the elements of a laid-out array: a signalling NaN that shows wherever it is read.
POISON = 0x7FF4_DEAD_BEEF_0BAD


@dataclass(frozen=True)
class Layout:
    """Where the elements of a float64 array lie in a larger base array: `step` elements apart (negative for a
    reversed view), starting `offset` elements in, and `misalignment` bytes past an address that is a multiple
    of 8 (a packed record's field, bytes viewed at an offset); read-only or writable."""

    step: int
    offset: int
    misalignment: int
    read_only: bool

    def place(self, values):
        """The storage, bytes that hold the base array, and the array of `values` laid out in it."""
        span = abs(self.step) * max(len(values) - 1, 0) + 1
        length = self.offset + span + 1
        storage = np.zeros(8 * length + 8, np.uint8)
        base = storage[self.misalignment : self.misalignment + 8 * length].view(np.float64)
        base.view(np.uint64)[:] = POISON
        array = base[self.offset : self.offset + span][:: self.step][: len(values)]
        array.view(np.uint64)[:] = [bits_of(value) for value in values]
        array.flags.writeable = not self.read_only
        return storage, array


def layouts(read_only=st.booleans()):
    """Layouts, adjacent elements and aligned ones more often than any other."""
    return st.builds(
        Layout,
        step=st.sampled_from([1, 1, 2, 3, -1, -2, -3]),
        offset=st.integers(0, 3),
        misalignment=st.sampled_from([0, 0, 0, 1, 4, 7]),
        read_only=read_only,
    )
