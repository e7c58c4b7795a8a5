"""Which arrays the array-view parameters accept, and the exact refusals: any buffer exporter of one native double
dimension, NumPy's or another's, is read in place; nothing is ever copied or converted. The read-only view
(vosterin's y_d2) and the writable views (rebin's three parameters) go through one table; a writable view asks
for write access, so an exporter of read-only memory refuses it with its own error."""

import array
import ctypes
import re
import sys
import traceback
from typing import NamedTuple

import numpy as np
import pytest

from bitwise import assert_same_bits
from layouts import read_only
from raw_buffer import raw_memoryview
from rebin_calls import writable_buffer_refusal
from tavmir.utils.numerics.native.rebin import rebin_histogram_cy
from tavmir.utils.numerics.native.vosterin import vosterin_peak_search_cy as peak_search

testbuffer = pytest.importorskip("_testbuffer")

VALUES = [3.0, 1.0, 4.0, 1.0, 5.0]
EXPECTED_S = [0.0, 5.0, -6.0, 7.0, 0.0]


class ViewParameter(NamedTuple):
    function: str  # as traceback entries name it
    kind: str  # the element as messages name it
    writable: bool
    call: object  # calls the function with the argument in this parameter's place


REBIN = "tavmir.utils.numerics.native.rebin.rebin_histogram_cy"
PARAMETERS = {
    "y_d2": ViewParameter(
        "tavmir.utils.numerics.native.vosterin.vosterin_peak_search_cy", "const double", False, peak_search
    ),
    # The other arguments fit five values in the parameter's place: five edges, or five counts.
    "energy_axis": ViewParameter(
        REBIN, "double", True, lambda a: rebin_histogram_cy(a, np.arange(1.0, 5.0), np.arange(0.0, 7.0, 2.0))
    ),
    "count_axis": ViewParameter(
        REBIN, "double", True, lambda a: rebin_histogram_cy(np.arange(6.0), a, np.array([0.0, 2.5, 5.0]))
    ),
    "new_energy_axis": ViewParameter(
        REBIN, "double", True, lambda a: rebin_histogram_cy(np.arange(6.0), np.arange(1.0, 6.0), a)
    ),
}


def exporter(format, items, shape=None, read_only=False, **layout):
    """CPython's test exporter: any struct format, writable unless `read_only`."""
    flags = 0 if read_only else testbuffer.ND_WRITABLE
    shape = [len(items)] if shape is None else shape
    return testbuffer.ndarray(items, shape=shape, format=format, flags=flags, **layout)


def cast_memoryview(values, offset=0):
    """memoryview(...).cast('d') over a bytearray holding `values` from byte `offset` on."""
    data = bytearray(offset) + bytearray(array.array("d", values).tobytes())
    return memoryview(data)[offset:].cast("d")


class PythonExporter:
    """An exporter written in Python: its buffer is that of a memoryview over `values` in `format`, and it
    counts the buffers it hands out and gets back. `on_release` runs as each one comes back."""

    def __init__(self, values, format="d", on_release=None):
        self.values = array.array("d", values)
        self.format, self.on_release = format, on_release
        self.handed_out = self.given_back = 0

    def __buffer__(self, flags):
        self.handed_out += 1
        return memoryview(self.values).cast("B").cast(self.format)

    def __release_buffer__(self, view):
        self.given_back += 1
        if self.on_release is not None:
            self.on_release()


def stride_12(values):
    """Elements 12 bytes apart, so every second one is not 8-byte aligned."""
    raw = np.zeros(12 * len(values), np.uint8)
    array = np.lib.stride_tricks.as_strided(raw[:8].view(np.float64), shape=(len(values),), strides=(12,))
    array[...] = values
    return array


ACCEPTED = {
    "ndarray": lambda: np.array(VALUES),
    "reversed": lambda: np.array(VALUES)[::-1].copy()[::-1],
    "stride-24": lambda: np.repeat(VALUES, 3)[::3],
    "stride-12": lambda: stride_12(VALUES),
    "array.array": lambda: array.array("d", VALUES),
    "memoryview": lambda: memoryview(array.array("d", VALUES)),
    "memoryview cast": lambda: cast_memoryview(VALUES),
    "memoryview cast at an odd byte": lambda: cast_memoryview(VALUES, offset=3),
    "memoryview every second": lambda: memoryview(array.array("d", np.repeat(VALUES, 2)))[::2],
    "memoryview reversed": lambda: memoryview(array.array("d", VALUES[::-1]))[::-1],
    "ctypes": lambda: (ctypes.c_double * 5)(*VALUES),
    "d": lambda: exporter("d", VALUES),
    "=d": lambda: exporter("=d", VALUES),
    "<d": lambda: exporter("<d", VALUES),
    "1d": lambda: exporter("1d", VALUES),
    "@ d with spaces": lambda: exporter("@ d\r\n", VALUES),
    "exporter reversed": lambda: exporter("d", VALUES[::-1], strides=[-8], offset=32),
    "__buffer__": lambda: PythonExporter(VALUES),
}


# Exporters of read-only memory: accepted for reading, refused by a writable view with their own error.
READ_ONLY = {
    "read-only ndarray": lambda: read_only(VALUES),
    "memoryview of bytes": lambda: memoryview(array.array("d", VALUES).tobytes()).cast("d"),
    "read-only exporter": lambda: exporter("d", VALUES, read_only=True),
}


@pytest.mark.parametrize("make", [*ACCEPTED.values(), *READ_ONLY.values()], ids=[*ACCEPTED, *READ_ONLY])
@pytest.mark.parametrize("parameter", PARAMETERS.values(), ids=PARAMETERS)
def test_accepted_exporters(parameter, make):
    argument = make()
    before = memoryview(argument).tobytes()
    if parameter.writable and memoryview(argument).readonly:
        error, message = writable_buffer_refusal(argument)
        with pytest.raises(error, match=f"^{re.escape(message)}$"):
            parameter.call(argument)
        return
    result = parameter.call(argument)
    expected = parameter.call(np.array(VALUES))
    for got, want in zip(result, expected) if type(result) is tuple else [(result, expected)]:
        assert_same_bits(got, want)
    assert memoryview(argument).tobytes() == before


def test_the_reference_of_the_table_is_the_worked_result():
    S, _ = peak_search(np.array(VALUES))
    assert_same_bits(S, EXPECTED_S)


def test_zero_stride_view_is_read_in_place():
    y = np.lib.stride_tricks.as_strided(np.array([2.0]), shape=(4,), strides=(0,))
    S, F = peak_search(y)
    assert_same_bits(S, [0.0, 0.0, 0.0, 0.0])
    assert_same_bits(F, [0.0, np.sqrt(12.0), np.sqrt(12.0), 0.0])


def big_endian():
    return np.zeros(3, dtype=">f8")


def mismatch(description):
    return "Buffer dtype mismatch, expected '{kind}' but got " + description


BIG_ENDIAN = "Big-endian buffer not supported on little-endian compiler"
TWO_DIMENSIONS = "Buffer has wrong number of dimensions (expected 1, got 2)"
NO_DIMENSION = "Buffer has wrong number of dimensions (expected 1, got 0)"


# Argument, exception and message ({kind} stands for the element as the parameter names it). An exporter of
# read-only memory is refused by a writable view with the exporter's own error instead.
REFUSED = [
    (np.zeros(3, np.float32), ValueError, mismatch("'float'")),
    (np.zeros(3, np.int64), ValueError, mismatch("'long'")),
    (np.zeros(3, np.complex128), ValueError, mismatch("'complex double'")),
    (np.zeros(3, np.complex64), ValueError, mismatch("'complex float'")),
    (np.zeros(3, bool), ValueError, mismatch("'bool'")),
    (np.zeros(3, object), ValueError, mismatch("Python object")),
    (np.zeros(3, "S4"), ValueError, mismatch("a string")),
    (np.zeros(3, np.float16), ValueError, mismatch("format code 'e'")),
    (np.zeros(3, [("a", "<f8")]), ValueError, mismatch("format code 'T'")),
    (big_endian(), ValueError, BIG_ENDIAN),
    (np.zeros((2, 2)), ValueError, TWO_DIMENSIONS),
    (np.float64(1.0), ValueError, NO_DIMENSION),
    (np.array(1.0), ValueError, NO_DIMENSION),
    (b"\0" * 16, ValueError, mismatch("'unsigned char'")),
    (bytearray(16), ValueError, mismatch("'unsigned char'")),
    (memoryview(bytes(16)).cast("q"), ValueError, mismatch("'long long'")),
    (memoryview(bytes(16)).cast("?"), ValueError, mismatch("'bool'")),
    (memoryview(bytes(16)).cast("P"), ValueError, mismatch("a pointer")),
    (memoryview(bytes(16)).cast("d", (1, 2)), ValueError, TWO_DIMENSIONS),
    (memoryview(bytearray(16)).cast("f"), ValueError, mismatch("'float'")),
    (memoryview(bytearray(16)).cast("q"), ValueError, mismatch("'long long'")),
    (memoryview(bytearray(16)).cast("?"), ValueError, mismatch("'bool'")),
    (memoryview(bytearray(16)).cast("d", (1, 2)), ValueError, TWO_DIMENSIONS),
    (memoryview(np.zeros(2, np.complex128)), ValueError, mismatch("'complex double'")),
    (memoryview(big_endian()), ValueError, BIG_ENDIAN),
    (array.array("f", VALUES), ValueError, mismatch("'float'")),
    (array.array("q", [1, 2, 3]), ValueError, mismatch("'long long'")),
    ((ctypes.c_float * 3)(), ValueError, mismatch("'float'")),
    ((ctypes.c_double.__ctype_be__ * 3)(), ValueError, BIG_ENDIAN),
    (((ctypes.c_double * 2) * 3)(), ValueError, TWO_DIMENSIONS),
    (exporter("2d", [(1.0, 2.0)]), ValueError, "Buffer dtype mismatch, expected end but got 'double'"),
    (exporter("dd", [(1.0, 2.0)]), ValueError, "Buffer dtype mismatch, expected end but got 'double'"),
    (exporter("dq", [(1.0, 2)]), ValueError, "Buffer dtype mismatch, expected end but got 'long long'"),
    (exporter("dx", [1.0]), ValueError, "Buffer dtype mismatch, expected end but got format code 'x'"),
    (exporter("!d", [1.0]), ValueError, BIG_ENDIAN),
    (exporter(">d", [1.0]), ValueError, BIG_ENDIAN),
    (exporter("f", [1.0]), ValueError, mismatch("'float'")),
    (exporter("q", [1]), ValueError, mismatch("'long long'")),
    (exporter("?", [True]), ValueError, mismatch("'bool'")),
    (exporter("e", [1.0]), ValueError, mismatch("format code 'e'")),
    (exporter("d", 1.0, shape=[]), ValueError, NO_DIMENSION),
    (raw_memoryview("2", 8, 3), ValueError, mismatch("end")),
    (raw_memoryview("", 8, 3), ValueError, mismatch("end")),
    (raw_memoryview("d", 4, 3), ValueError,
     "Item size of buffer (4 bytes) does not match size of '{kind}' (8 bytes)"),
    (raw_memoryview("d", 1, 3), ValueError,
     "Item size of buffer (1 byte) does not match size of '{kind}' (8 bytes)"),
    ([1.0, 2.0, 3.0], TypeError, "a bytes-like object is required, not 'list'"),
    (3.0, TypeError, "a bytes-like object is required, not 'float'"),
]


def exports_read_only_memory(argument):
    try:
        return memoryview(argument).readonly
    except TypeError:
        return True  # no buffer at all: refused alike for reading and writing


@pytest.mark.parametrize(
    "argument, error, message", REFUSED, ids=lambda value: None if not isinstance(value, str) else value[:40]
)
@pytest.mark.parametrize("parameter", PARAMETERS.values(), ids=PARAMETERS)
def test_refused_arguments(parameter, argument, error, message):
    if parameter.writable and exports_read_only_memory(argument):
        error, message = writable_buffer_refusal(argument)
    with pytest.raises(error) as refused:
        parameter.call(argument)
    assert type(refused.value) is error
    assert str(refused.value) == message.format(kind=parameter.kind)
    last = traceback.extract_tb(refused.value.__traceback__)[-1]
    assert last.name == parameter.function


def release_fails():
    raise LookupError("release failed")


@pytest.mark.parametrize("on_release", [None, release_fails], ids=["release", "failing release"])
@pytest.mark.parametrize("format", ["d", "f"], ids=["accepted", "refused"])
@pytest.mark.parametrize("parameter", PARAMETERS.values(), ids=PARAMETERS)
def test_python_exporter_gets_every_buffer_back(monkeypatch, parameter, format, on_release):
    """Each buffer taken is given back, on success and on refusal; an error raised while it is given back is
    reported as unraisable and leaves the call's own outcome as it was."""
    unraisable = []
    monkeypatch.setattr(sys, "unraisablehook", lambda report: unraisable.append(report.exc_type))
    argument = PythonExporter(VALUES, format, on_release)
    if format == "d":
        parameter.call(argument)
    else:
        with pytest.raises(ValueError, match="^Buffer dtype mismatch"):
            parameter.call(argument)
    assert argument.handed_out == argument.given_back == 1
    assert unraisable == ([] if on_release is None else [LookupError])


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
@pytest.mark.parametrize("parameter", PARAMETERS.values(), ids=PARAMETERS)
def test_no_buffer_stays_held(parameter, make):
    y = make()
    try:
        parameter.call(y)
    except ValueError:
        pass
    # Both refuse to resize while a buffer on them is held (NumPy by counting references).
    if isinstance(y, array.array):
        y.extend(y)
    else:
        y.resize(2 * len(y))
