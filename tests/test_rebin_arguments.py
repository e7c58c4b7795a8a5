"""How rebin_histogram_cy binds its arguments and which arrays it refuses: exact messages, nothing modified,
nothing held afterwards."""

import inspect
import sys

import numpy as np
import pytest
from bitwise import assert_same_bits
from layouts import read_only
from rebin_calls import assert_traceback_names_function, left_as_they_were, writable_buffer_refusal

from tavmir.utils.numerics.native import rebin
from tavmir.utils.numerics.native.rebin import rebin_histogram_cy

PARAMETERS = ["energy_axis", "count_axis", "new_energy_axis"]


def valid_arguments():
    return [np.array([0.0, 1.0, 2.0]), np.array([1.0, 2.0]), np.array([0.0, 2.0])]


def test_public_face():
    assert rebin.np is sys.modules["numpy"]
    assert rebin_histogram_cy.__name__ == rebin_histogram_cy.__qualname__ == "rebin_histogram_cy"
    assert rebin_histogram_cy.__module__ == "tavmir.utils.numerics.native.rebin"
    assert rebin_histogram_cy.__doc__ is None
    parameters = inspect.signature(rebin_histogram_cy).parameters.values()
    assert [(p.name, p.kind, p.default) for p in parameters] == [
        (name, inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.empty) for name in PARAMETERS
    ]


@pytest.mark.parametrize(
    ("positional", "keyword_order"), [(3, []), (2, [2]), (1, [1, 2]), (1, [2, 1]), (0, [2, 0, 1]), (0, [1, 2, 0])]
)
def test_arguments_by_position_and_keyword(positional, keyword_order):
    arguments = valid_arguments()
    keywords = {PARAMETERS[i]: arguments[i] for i in keyword_order}
    with left_as_they_were(*arguments):
        result = rebin_histogram_cy(*arguments[:positional], **keywords)
    assert_same_bits(result, [3.0])
    assert not any(np.shares_memory(result, array) for array in arguments)


def count_message(given):
    return f"rebin_histogram_cy() takes exactly 3 positional arguments ({given} given)"


def multiple_values(keyword):
    return f"rebin_histogram_cy() got multiple values for keyword argument '{keyword}'"


# Positional arguments, keyword names -> message. The arrays are read-only, so a binding error that came after
# looking at an array would show as that array's refusal instead.
BINDING_ERRORS = {
    "none": (0, [], count_message(0)),
    "two": (2, [], count_message(2)),
    "four": (4, [], count_message(4)),
    "one and the last by keyword": (1, ["new_energy_axis"], count_message(1)),
    "none and the last two by keyword": (0, ["count_axis", "new_energy_axis"], count_message(0)),
    "four and a keyword": (4, ["energy_axis"], count_message(4)),
    "three and a keyword": (3, ["energy_axis"], multiple_values("energy_axis")),
    "two and the second again": (2, ["count_axis"], multiple_values("count_axis")),
    "unknown keyword": (2, ["bins"], "rebin_histogram_cy() got an unexpected keyword argument 'bins'"),
}


@pytest.mark.parametrize(("positional", "keywords", "message"), BINDING_ERRORS.values(), ids=BINDING_ERRORS)
def test_binding_errors(positional, keywords, message):
    arrays = [read_only([0.0, 1.0]) for _ in range(positional + len(keywords))]
    with left_as_they_were(*arrays), pytest.raises(TypeError) as raised:
        rebin_histogram_cy(*arrays[:positional], **dict(zip(keywords, arrays[positional:])))
    assert str(raised.value) == message
    assert_traceback_names_function(raised.value)


def dtype_mismatch(description):
    return f"Buffer dtype mismatch, expected 'double' but got {description}"


def wrong_dimensions(got):
    return f"Buffer has wrong number of dimensions (expected 1, got {got})"


# Argument -> exception, message; None for both means the exporter's own refusal of a writable buffer.
REFUSED_ARGUMENTS = {
    "read-only array": (lambda: read_only([0.0, 1.0]), None, None),
    "bytes": (lambda: bytes(16), None, None),
    "NumPy scalar": (lambda: np.float64(1.0), None, None),
    "list": (lambda: [0.0, 1.0], None, None),
    "float32": (lambda: np.zeros(2, np.float32), ValueError, dtype_mismatch("'float'")),
    "complex128": (lambda: np.zeros(2, np.complex128), ValueError, dtype_mismatch("'complex double'")),
    "bool": (lambda: np.zeros(2, np.bool_), ValueError, dtype_mismatch("'bool'")),
    "int64": (lambda: np.zeros(2, np.int64), ValueError, dtype_mismatch("'long'")),
    "big-endian float64": (
        lambda: np.zeros(2, ">f8"),
        ValueError,
        "Big-endian buffer not supported on little-endian compiler",
    ),
    "2-D": (lambda: np.zeros((2, 2)), ValueError, wrong_dimensions(2)),
    "0-D": (lambda: np.array(1.0), ValueError, wrong_dimensions(0)),
}


@pytest.mark.parametrize("position", range(3), ids=PARAMETERS)
@pytest.mark.parametrize(("make", "exception", "message"), REFUSED_ARGUMENTS.values(), ids=REFUSED_ARGUMENTS)
def test_refused_arguments(make, exception, message, position):
    arguments = valid_arguments()
    arguments[position] = make()
    if exception is None:
        exception, message = writable_buffer_refusal(arguments[position])
    with left_as_they_were(*arguments), pytest.raises(exception) as raised:
        rebin_histogram_cy(*arguments)
    assert type(raised.value) is exception
    assert str(raised.value) == message
    assert_traceback_names_function(raised.value)


def test_first_refused_argument_is_reported():
    arguments = [read_only([0.0, 1.0]), np.zeros((2, 2)), np.zeros(2, np.float32)]
    expected = writable_buffer_refusal(arguments[0])
    with left_as_they_were(*arguments), pytest.raises(Exception) as raised:
        rebin_histogram_cy(*arguments)
    assert (type(raised.value), str(raised.value)) == expected
