"""Which arrays a read-only array view accepts, and the exact refusals. Nothing is ever copied or converted."""

import array
import ctypes
import traceback

import numpy as np
import pytest

from bitwise import assert_same_bits
from tavmir.utils.numerics.native.vosterin import vosterin_peak_search_cy as peak_search

testbuffer = pytest.importorskip("_testbuffer")

VALUES = [3.0, 1.0, 4.0, 1.0, 5.0]
EXPECTED_S = [0.0, 5.0, -6.0, 7.0, 0.0]


def exporter(format, items):
    return testbuffer.ndarray(items, shape=[len(items)], format=format)


@pytest.mark.parametrize(
    "make",
    [
        lambda: np.array(VALUES),
        lambda: np.array(VALUES)[::-1].copy()[::-1],
        lambda: np.repeat(VALUES, 3)[::3],
        lambda: array.array("d", VALUES),
        lambda: memoryview(array.array("d", VALUES)),
        lambda: (ctypes.c_double * 5)(*VALUES),
        lambda: exporter("d", VALUES),
        lambda: exporter("=d", VALUES),
        lambda: exporter("1d", VALUES),
    ],
    ids=["ndarray", "reversed", "stride-24", "array.array", "memoryview", "ctypes", "d", "=d", "1d"],
)
def test_accepted_exporters(make):
    S, _ = peak_search(make())
    assert_same_bits(S, EXPECTED_S)


def test_zero_stride_view_is_read_in_place():
    y = np.lib.stride_tricks.as_strided(np.array([2.0]), shape=(4,), strides=(0,))
    S, F = peak_search(y)
    assert_same_bits(S, [0.0, 0.0, 0.0, 0.0])
    assert_same_bits(F, [0.0, np.sqrt(12.0), np.sqrt(12.0), 0.0])


def big_endian():
    return np.zeros(3, dtype=">f8")


@pytest.mark.parametrize(
    "argument, error, message",
    [
        (np.zeros(3, np.float32), ValueError, "Buffer dtype mismatch, expected 'const double' but got 'float'"),
        (np.zeros(3, np.int64), ValueError, "Buffer dtype mismatch, expected 'const double' but got 'long'"),
        (np.zeros(3, np.complex128), ValueError,
         "Buffer dtype mismatch, expected 'const double' but got 'complex double'"),
        (np.zeros(3, np.complex64), ValueError,
         "Buffer dtype mismatch, expected 'const double' but got 'complex float'"),
        (np.zeros(3, bool), ValueError, "Buffer dtype mismatch, expected 'const double' but got 'bool'"),
        (np.zeros(3, object), ValueError, "Buffer dtype mismatch, expected 'const double' but got Python object"),
        (np.zeros(3, "S4"), ValueError, "Buffer dtype mismatch, expected 'const double' but got a string"),
        (np.zeros(3, np.float16), ValueError,
         "Buffer dtype mismatch, expected 'const double' but got format code 'e'"),
        (np.zeros(3, [("a", "<f8")]), ValueError,
         "Buffer dtype mismatch, expected 'const double' but got format code 'T'"),
        (big_endian(), ValueError, "Big-endian buffer not supported on little-endian compiler"),
        (np.zeros((2, 2)), ValueError, "Buffer has wrong number of dimensions (expected 1, got 2)"),
        (np.float64(1.0), ValueError, "Buffer has wrong number of dimensions (expected 1, got 0)"),
        (np.array(1.0), ValueError, "Buffer has wrong number of dimensions (expected 1, got 0)"),
        (b"\0" * 16, ValueError, "Buffer dtype mismatch, expected 'const double' but got 'unsigned char'"),
        (bytearray(16), ValueError, "Buffer dtype mismatch, expected 'const double' but got 'unsigned char'"),
        (memoryview(bytes(16)).cast("q"), ValueError,
         "Buffer dtype mismatch, expected 'const double' but got 'long long'"),
        (memoryview(bytes(16)).cast("?"), ValueError, "Buffer dtype mismatch, expected 'const double' but got 'bool'"),
        (memoryview(bytes(16)).cast("P"), ValueError, "Buffer dtype mismatch, expected 'const double' but got a pointer"),
        (memoryview(bytes(16)).cast("d", (1, 2)), ValueError,
         "Buffer has wrong number of dimensions (expected 1, got 2)"),
        (exporter("2d", [(1.0, 2.0)]), ValueError, "Buffer dtype mismatch, expected end but got 'double'"),
        (exporter("dd", [(1.0, 2.0)]), ValueError, "Buffer dtype mismatch, expected end but got 'double'"),
        (exporter("dq", [(1.0, 2)]), ValueError, "Buffer dtype mismatch, expected end but got 'long long'"),
        (exporter("!d", [1.0]), ValueError, "Big-endian buffer not supported on little-endian compiler"),
        ([1.0, 2.0, 3.0], TypeError, "a bytes-like object is required, not 'list'"),
        (3.0, TypeError, "a bytes-like object is required, not 'float'"),
    ],
    ids=lambda value: None if not isinstance(value, str) else value[:40],
)
def test_refused_arguments(argument, error, message):
    with pytest.raises(error) as refused:
        peak_search(argument)
    assert str(refused.value) == message
    last = traceback.extract_tb(refused.value.__traceback__)[-1]
    assert last.name == "tavmir.utils.numerics.native.vosterin.vosterin_peak_search_cy"


@pytest.mark.parametrize(
    "make",
    [
        lambda: array.array("d", VALUES),
        lambda: array.array("f", VALUES),
        lambda: array.array("q", [1, 2, 3]),
        lambda: np.array(VALUES),
        lambda: np.array(VALUES, np.float32),
        lambda: np.array(VALUES, ">f8"),
    ],
    ids=["array-accepted", "array-refused", "array-int", "ndarray-accepted", "ndarray-refused", "big-endian"],
)
def test_no_buffer_stays_held(make):
    y = make()
    try:
        peak_search(y)
    except ValueError:
        pass
    # Both refuse to resize while a buffer on them is held (NumPy by counting references).
    if isinstance(y, array.array):
        y.extend(y)
    else:
        y.resize(2 * len(y))
