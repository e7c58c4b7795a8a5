"""IEEE-754 doubles computed one operation at a time, for the plain-Python references, with every bit pattern a
compiled program may give.

Which operand's NaN an operation returns when both operands are NaN is not fixed: IEEE 754 leaves it open, x86
returns the first operand's, and a compiler may swap the operands of an addition or a multiplication. A Double
therefore holds a set of bit patterns: one, unless two NaNs of different bits met in an addition or a
multiplication on the way to it, when it holds every NaN that either operand order gives. Everything else is
exact: the value, the sign of a zero, and the bits of a NaN that flows from a single NaN operand."""

import math
import operator
import struct

import numpy as np

_DOUBLE = struct.Struct("<d")
_BITS = struct.Struct("<Q")


def bits_of(value):
    return _BITS.unpack(_DOUBLE.pack(value))[0]


def value_of(bits):
    return _DOUBLE.unpack(_BITS.pack(bits))[0]


def _divide(numerator, denominator):
    """The processor's division, also by zero, where Python raises instead."""
    try:
        return numerator / denominator
    except ZeroDivisionError:
        with np.errstate(all="ignore"):
            return float(np.float64(numerator) / np.float64(denominator))


class Double:
    """A double, as the set of bit patterns (`bits`) that a compiled program may give for it."""

    __slots__ = ("bits",)

    def __init__(self, value):
        """From a float (NumPy's included, its bits kept as they are) or another Double."""
        self.bits = value.bits if isinstance(value, Double) else frozenset([bits_of(float(value))])

    @classmethod
    def among(cls, values):
        double = cls.__new__(cls)
        double.bits = frozenset(bits_of(value) for value in values)
        return double

    def values(self):
        return [value_of(bits) for bits in self.bits]

    def apply(self, operation):
        """`operation` of one float, applied to each of the values."""
        return Double.among(operation(value) for value in self.values())

    def combine(self, other, operation, commutative):
        """`operation` of self and other; for a commutative one in both operand orders, as a compiler may swap
        them. Both orders give the same result unless both operands are NaN."""
        other = Double(other)
        results = []
        for x in self.values():
            for y in other.values():
                results.append(operation(x, y))
                if commutative:
                    results.append(operation(y, x))
        return Double.among(results)

    def __add__(self, other):
        return self.combine(other, operator.add, commutative=True)

    def __radd__(self, other):
        return Double(other).combine(self, operator.add, commutative=True)

    def __sub__(self, other):
        return self.combine(other, operator.sub, commutative=False)

    def __rsub__(self, other):
        return Double(other).combine(self, operator.sub, commutative=False)

    def __mul__(self, other):
        return self.combine(other, operator.mul, commutative=True)

    def __rmul__(self, other):
        return Double(other).combine(self, operator.mul, commutative=True)

    def __truediv__(self, other):
        return self.combine(other, _divide, commutative=False)

    def __rtruediv__(self, other):
        return Double(other).combine(self, _divide, commutative=False)

    # The values of one Double are all NaN when there are several, so every one compares alike.
    def __lt__(self, other):
        return self.values()[0] < Double(other).values()[0]

    def __le__(self, other):
        return self.values()[0] <= Double(other).values()[0]

    def __gt__(self, other):
        return self.values()[0] > Double(other).values()[0]

    def __ge__(self, other):
        return self.values()[0] >= Double(other).values()[0]

    def __float__(self):
        """The value, for storing in a float64 array; only a Double whose bits are settled has one."""
        if len(self.bits) != 1:
            raise ValueError(f"{self!r} has no single value")
        return self.values()[0]

    def __repr__(self):
        return "Double(" + " or ".join(f"0x{bits:016x}" for bits in sorted(self.bits)) + ")"


def sqrt(x):
    """The correctly rounded square root. NumPy's is the processor's, so a negative operand gives the processor's
    own NaN, as in compiled code (Python's math.sqrt raises instead)."""

    def hardware_sqrt(value):
        with np.errstate(invalid="ignore"):
            return float(np.sqrt(np.float64(value)))

    return x.apply(hardware_sqrt)


def exp(x):
    """The C library's exp, which compiled code calls too; Python raises where it overflows to infinity."""

    def library_exp(value):
        try:
            return math.exp(value)
        except OverflowError:
            return math.inf

    return x.apply(library_exp)
