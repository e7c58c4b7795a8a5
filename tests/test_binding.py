"""Binding calls to the named parameters of a public function, with the interpreter's messages."""

import traceback

import numpy as np
import pytest

from tavmir.utils.numerics.native.vosterin import vosterin_peak_search_cy as peak_search
from vector_call import vectorcall

Y = np.array([0.0, 10.0, 0.0])
COUNT = "vosterin_peak_search_cy() takes exactly 1 positional argument ({} given)"


class Name(str):
    pass


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, COUNT.format(0)),
        ((Y, Y), {}, COUNT.format(2)),
        ((Y, Y), {"y_d2": Y}, COUNT.format(2)),
        ((), {"x": Y}, "vosterin_peak_search_cy() got an unexpected keyword argument 'x'"),
        ((), {"y_d2": Y, "x": 1}, "vosterin_peak_search_cy() got an unexpected keyword argument 'x'"),
        # Unknown keywords are refused before any argument is looked at.
        ((object(),), {"x": 1}, "vosterin_peak_search_cy() got an unexpected keyword argument 'x'"),
        ((Y,), {"y_d2": Y}, "vosterin_peak_search_cy() got multiple values for keyword argument 'y_d2'"),
        ((), {1: Y}, "keywords must be strings"),
    ],
)
def test_refused_calls(args, kwargs, message):
    with pytest.raises(TypeError) as refused:
        peak_search(*args, **kwargs)
    assert str(refused.value) == message


@pytest.mark.parametrize("name", ["y_d2", "".join(["y_", "d2"]), Name("y_d2")])
def test_keyword_matched_by_text_when_not_by_identity(name):
    S, _ = peak_search(**{name: Y})
    assert S.tolist() == [0.0, -20.0, 0.0]


@pytest.mark.parametrize(
    "kwnames, message",
    [
        ((1,), "vosterin_peak_search_cy() keywords must be strings"),
        (("y_d2", "y_d2"), "vosterin_peak_search_cy() got multiple values for keyword argument 'y_d2'"),
    ],
)
def test_keyword_names_only_c_callers_can_pass(kwnames, message):
    with pytest.raises(TypeError) as refused:
        vectorcall(peak_search, (), kwnames, [Y] * len(kwnames))
    assert str(refused.value) == message


def test_vector_call_with_keywords():
    S, _ = vectorcall(peak_search, (), ("y_d2",), [Y])
    assert S.tolist() == [0.0, -20.0, 0.0]


def test_refusal_names_the_function_in_the_traceback():
    with pytest.raises(TypeError) as refused:
        peak_search()
    last = traceback.extract_tb(refused.value.__traceback__)[-1]
    assert (last.name, last.filename) == (
        "tavmir.utils.numerics.native.vosterin.vosterin_peak_search_cy",
        "tavmir/utils/numerics/native/vosterin",
    )
