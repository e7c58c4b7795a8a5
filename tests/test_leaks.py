"""Every public function, on its success paths and on each way it fails, called thousands of times: no
reference to an argument, to the module's namespace or to its `np` is gained or lost, results are held by the
caller alone, and no memory is kept (the exceptions of failed calls, with their tracebacks, included)."""

import array
from typing import NamedTuple

import numpy as np
import pytest
from layouts import every_second, read_only, reversed_view
from leaks import COUNTS_BLOCKS, assert_no_leaks

from tavmir.utils.numerics.native import gaussian, rebin, vosterin

KEEP, MISSING = object(), object()


class NumpyWith:
    """Stands in for a module's `np`: NumPy, with the attributes given replaced."""

    def __init__(self, **replaced):
        self.__dict__.update(replaced)

    def __getattr__(self, name):
        return getattr(np, name)


class Refusal(Exception):
    pass


def refuse(*args, **kwargs):
    raise Refusal("made up")


class Path(NamedTuple):
    args: tuple
    kwargs: dict = {}
    raises: type = None
    message: str = ""
    np: object = KEEP  # what the module's `np` is during the calls: KEEP, MISSING or a stand-in


def view_object(result):
    """The view object of the module that a rebin result exports its memory through."""
    return result.base.obj


Y = np.array([3.0, 1.0, 4.0, 1.0, 5.0])

PEAK_SEARCH = {
    "success": Path((Y,)),
    "read-only reversed": Path((read_only(Y)[::-1],)),
    "array.array": Path((array.array("d", Y),)),
    "by keyword": Path((), {"y_d2": Y}),
    "no argument": Path((), {}, TypeError, "(0 given)"),
    "two arguments": Path((Y, Y), {}, TypeError, "(2 given)"),
    "unexpected keyword": Path((Y,), {"x": Y}, TypeError, "unexpected keyword argument 'x'"),
    "given twice": Path((Y,), {"y_d2": Y}, TypeError, "multiple values"),
    "wrong dtype": Path((Y.astype(np.float32),), {}, ValueError, "but got 'float'"),
    "wrong ndim": Path((Y.reshape(1, 5),), {}, ValueError, "(expected 1, got 2)"),
    "big-endian": Path((Y.astype(">f8"),), {}, ValueError, "Big-endian"),
    "no buffer": Path((list(Y),), {}, TypeError, "bytes-like object"),
    "None": Path((None,), {}, ValueError, "(expected 1, got 0)"),
    "np missing": Path((Y,), {}, NameError, "'np'", MISSING),
    "short results": Path((Y,), {}, IndexError, "Out of bounds", NumpyWith(zeros_like=lambda *a, **k: np.zeros(2))),
    "result not an array": Path((Y,), {}, TypeError, "Cannot convert", NumpyWith(zeros_like=lambda *a, **k: [0.0])),
    "zeros_like fails": Path((Y,), {}, Refusal, "made up", NumpyWith(zeros_like=refuse)),
}

E, C, NE = np.array([0.0, 1.0, 2.0, 4.0]), np.array([1.0, 2.0, 3.0]), np.array([0.0, 2.5, 4.0])
# View objects of the rebin module, passed back in: four values for the edges, three for the counts.
E_VIEW = view_object(rebin.rebin_histogram_cy(E, C, np.arange(5.0)))
C_VIEW = view_object(rebin.rebin_histogram_cy(E, C, np.arange(4.0)))

REBIN = {
    "success": Path((E, C, NE)),
    "strided": Path((every_second(E), reversed_view(C), E[::-2])),
    "by keyword": Path((), {"new_energy_axis": NE, "energy_axis": E, "count_axis": C}),
    "view objects": Path((E_VIEW, C_VIEW, E_VIEW)),
    "None counts": Path((None, None, NE)),
    "two arguments": Path((E, C), {}, TypeError, "(2 given)"),
    "four arguments": Path((E, C, NE, NE), {}, TypeError, "(4 given)"),
    "unexpected keyword": Path((E, C, NE), {"bins": NE}, TypeError, "unexpected keyword argument 'bins'"),
    "given twice": Path((E, C, NE), {"count_axis": C}, TypeError, "multiple values"),
    "wrong dtype": Path((E, C.astype(np.float32), NE), {}, ValueError, "but got 'float'"),
    "wrong ndim": Path((E, C, NE.reshape(3, 1)), {}, ValueError, "(expected 1, got 2)"),
    "big-endian": Path((E.astype(">f8"), C, NE), {}, ValueError, "Big-endian"),
    "read-only array": Path((E, read_only(C), NE), {}, ValueError, "read-only"),
    "bytes": Path((E, C, bytes(24)), {}, BufferError, "not writable"),
    "None new edges": Path((E, C, None), {}, ValueError, "negative dimensions"),
    "empty new edges": Path((E, C, np.zeros(0)), {}, ValueError, "negative dimensions"),
    "np missing": Path((E, C, NE), {}, NameError, "'np'", MISSING),
    "short energy_axis": Path((E[:2], C, NE), {}, IndexError, "Out of bounds"),
    "short result": Path((E, C, NE), {}, IndexError, "Out of bounds", NumpyWith(zeros=lambda n, dtype: np.zeros(1))),
    "asarray fails": Path((E, C, NE), {}, Refusal, "made up", NumpyWith(asarray=refuse)),
}

X, P = np.array([0.0, 1.0, 2.0]), np.array([2.0, 1.0, 1.0, 5.0])

GAUSSIAN = {
    "success": Path((X, P)),
    "read-only reversed": Path((read_only(X)[::-1], read_only(P)[::-1])),
    "None": Path((None, P)),
    "by keyword": Path((), {"params": P, "x": X}),
    "one argument": Path((X,), {}, TypeError, "(1 given)"),
    "three arguments": Path((X, P, P), {}, TypeError, "(3 given)"),
    "unexpected keyword": Path((X, P), {"sigma": P}, TypeError, "unexpected keyword argument 'sigma'"),
    "given twice": Path((X,), {"x": X}, TypeError, "multiple values"),
    "not an ndarray": Path((X, list(P)), {}, TypeError, "Argument 'params' has incorrect type"),
    "wrong dtype": Path((X.astype(np.float32), P), {}, ValueError, "but got 'float'"),
    "wrong ndim": Path((X, P.reshape(2, 2)), {}, ValueError, "(expected 1, got 2)"),
    "big-endian": Path((X, P.astype(">f8")), {}, ValueError, "Big-endian"),
    "np missing": Path((X, P), {}, NameError, "'np'", MISSING),
    "zeros of another shape": Path(
        (X, P), {}, ValueError, "np.zeros to return", NumpyWith(zeros=lambda shape, **k: np.zeros(np.add(shape, 1)))
    ),
    "zeros not an array": Path((X, P), {}, TypeError, "Cannot convert", NumpyWith(zeros=lambda *a, **k: [0.0])),
    "zeros fails": Path((X, P), {}, Refusal, "made up", NumpyWith(zeros=refuse)),
}


def check_path(monkeypatch, module, function, path):
    if path.np is MISSING:
        monkeypatch.delattr(module, "np")
    elif path.np is not KEEP:
        monkeypatch.setattr(module, "np", path.np)
    watched = [vars(module)] + ([module.np] if hasattr(module, "np") else [])
    assert_no_leaks(function, path.args, path.kwargs, raises=path.raises, message=path.message, watched=watched)


@pytest.mark.parametrize("path", PEAK_SEARCH.values(), ids=PEAK_SEARCH)
def test_peak_search(monkeypatch, path):
    check_path(monkeypatch, vosterin, vosterin.vosterin_peak_search_cy, path)


@pytest.mark.parametrize("path", REBIN.values(), ids=REBIN)
def test_rebin(monkeypatch, path):
    check_path(monkeypatch, rebin, rebin.rebin_histogram_cy, path)


@pytest.mark.parametrize("path", GAUSSIAN.values(), ids=GAUSSIAN)
@pytest.mark.parametrize("function", [gaussian.multi_gaussian_cy, gaussian.multi_gaussian_jacobian_cy])
def test_gaussian(monkeypatch, function, path):
    check_path(monkeypatch, gaussian, function, path)


KEPT = []


def keeps_an_argument(y):
    KEPT.append(y)
    return np.zeros(1)


def keeps_a_block(y):
    KEPT.append(object())
    return np.zeros(1)


def keeps_its_exception(y):
    try:
        raise ValueError("kept")
    except ValueError as error:
        KEPT.append(error)
        raise


def keeps_its_result(y):
    KEPT.append(np.zeros(1))
    return KEPT[-1]


# Functions that leak in the ways the check looks for, what they raise, and what the check then reports.
LEAKY = {
    "a reference to an argument": (keeps_an_argument, None, "references to the arguments"),
    "a block per call": pytest.param(
        keeps_a_block, None, "more blocks",
        marks=pytest.mark.skipif(not COUNTS_BLOCKS, reason="Python's allocator counts no blocks here")),
    # Its traceback keeps the frames of the calls, and they their arguments.
    "the exception with its traceback": (keeps_its_exception, ValueError, "references to the arguments"),
    "a reference to the result": (keeps_its_result, None, "the result is referred to from elsewhere"),
}


@pytest.mark.parametrize(("function", "raises", "report"), LEAKY.values(), ids=list(LEAKY))
def test_the_check_sees_leaks(function, raises, report):
    try:
        with pytest.raises(AssertionError, match=report):
            assert_no_leaks(function, (Y,), raises=raises)
    finally:
        KEPT.clear()
