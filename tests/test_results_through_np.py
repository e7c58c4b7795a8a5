"""Results are made by the module-level `np` at every call, from a view object rather than the caller's array;
whatever a rebound `np` returns is checked before anything is written."""

import array
import builtins
import math
import traceback

import numpy as np
import pytest

from bitwise import assert_same_bits
from tavmir.utils.numerics.native import vosterin
from tavmir.utils.numerics.native.vosterin import vosterin_peak_search_cy as peak_search


class StandInNumpy:
    """Stands in for the module's `np`: records the attributes fetched and the arguments zeros_like gets, and
    answers zeros_like with `results` (one per call) when given."""

    def __init__(self, *results):
        self.fetched, self.zeros_like_calls, self._results = [], [], list(results)

    def __getattr__(self, name):
        self.fetched.append(name)
        if name != "zeros_like":
            return getattr(np, name)

        def zeros_like(*args, **kwargs):
            self.zeros_like_calls.append((args, kwargs))
            return self._results.pop(0) if self._results else np.zeros_like(*args, **kwargs)

        return zeros_like


@pytest.fixture
def stand_in(monkeypatch):
    def install(*results):
        numpy = StandInNumpy(*results)
        monkeypatch.setattr(vosterin, "np", numpy)
        return numpy

    return install


def test_np_is_looked_up_at_each_use(stand_in):
    numpy = stand_in()
    peak_search(np.zeros(4))
    assert numpy.fetched == ["zeros_like", "float64", "zeros_like", "float64"]
    (args, kwargs), _ = numpy.zeros_like_calls
    assert kwargs == {"dtype": np.float64}


def test_zeros_like_gets_a_read_only_view_object_of_the_argument(stand_in):
    numpy = stand_in()
    y = np.arange(10.0)[::-2]
    peak_search(y)
    first, second = [args[0] for args, _ in numpy.zeros_like_calls]
    assert first is not y and first is not second and type(first) is type(second)
    exported = memoryview(first)
    assert (exported.format, exported.shape, exported.strides, exported.readonly) == (
        memoryview(y).format, (5,), (-16,), True)
    assert exported.tolist() == y.tolist()
    with pytest.raises(BufferError, match="^view is not contiguous$"):
        array.array("d").frombytes(first)  # a consumer that takes no strides is refused


def test_view_object_keeps_the_elements_alive_and_can_be_passed_back(stand_in):
    numpy = stand_in()
    y = array.array("d", [3.0, 1.0, 4.0, 1.0, 5.0])
    S, F = peak_search(y)
    view = numpy.zeros_like_calls[0][0][0]
    with pytest.raises(BufferError):
        y.append(9.0)  # the view object still holds y's buffer
    S_again, F_again = peak_search(view)
    assert_same_bits(S_again, S)
    assert_same_bits(F_again, F)
    del y
    assert memoryview(view).tolist() == [3.0, 1.0, 4.0, 1.0, 5.0]


def test_none_goes_to_zeros_like_as_none(stand_in):
    numpy = stand_in(None, None)
    assert peak_search(None) == (None, None)
    assert [call[0] for call in numpy.zeros_like_calls] == [(None,), (None,)]


def test_np_from_builtins_and_missing_np(monkeypatch):
    monkeypatch.delattr(vosterin, "np")
    with pytest.raises(NameError, match=r"^name 'np' is not defined$") as missing:
        peak_search(np.zeros(3))
    assert traceback.extract_tb(missing.value.__traceback__)[-1].name.endswith(".vosterin_peak_search_cy")
    monkeypatch.setattr(builtins, "np", np, raising=False)
    assert peak_search(np.zeros(3))[0].shape == (3,)


def read_only_zeros(n):
    array = np.zeros(n)
    array.flags.writeable = False
    return array


@pytest.mark.parametrize(
    "result, error, message",
    [
        ([0.0] * 3, TypeError, "Cannot convert list to numpy.ndarray"),
        (np.zeros(3, np.float32), ValueError, "Buffer dtype mismatch, expected 'double' but got 'float'"),
        (np.zeros(3, np.int64), ValueError, "Buffer dtype mismatch, expected 'double' but got 'long'"),
        (np.zeros((3, 1)), ValueError, "Buffer has wrong number of dimensions (expected 1, got 2)"),
        (read_only_zeros(3), ValueError, "buffer source array is read-only"),
        (None, IndexError, "Out of bounds on buffer access (axis 0)"),
        (np.zeros(1), IndexError, "Out of bounds on buffer access (axis 0)"),
    ],
)
def test_unusable_results_are_refused(stand_in, result, error, message):
    stand_in(result)
    with pytest.raises(error) as refused:
        peak_search(np.array([1.0, 2.0, 4.0]))
    assert str(refused.value) == message
    assert traceback.extract_tb(refused.value.__traceback__)[-1].name.endswith(".vosterin_peak_search_cy")


@pytest.mark.parametrize(
    "S_length, F_length, S_written, F_written",
    [(2, 6, [1], [1]), (6, 3, [1, 2, 3], [1, 2]), (6, 0, [1], [])],
)
def test_short_results_are_written_up_to_the_first_failing_index(stand_in, S_length, F_length, S_written, F_written):
    """The writes made before the failing index stay, and nothing is written beyond a result's end."""
    S, F = np.full(S_length + 1, 7.0), np.full(F_length + 1, 7.0)  # the extra element guards the end
    stand_in(S[:S_length], F[:F_length])
    y = np.array([1.0, 4.0, 9.0, 16.0, 25.0, 36.0])
    with pytest.raises(IndexError, match=r"^Out of bounds on buffer access \(axis 0\)$"):
        peak_search(y)
    assert [i for i in range(S_length) if S[i] != 7.0] == S_written
    assert [i for i in range(F_length) if F[i] != 7.0] == F_written
    assert S[-1] == F[-1] == 7.0
    assert all(S[i] == (y[i - 1] - (y[i] + y[i])) + y[i + 1] for i in S_written)


def test_results_sharing_memory_with_the_argument_follow_the_loop_order(stand_in):
    """A stand-in that hands back the argument itself: every S[i] is stored before F[i] reads y."""
    y = np.array([2.0, 7.0, 1.0, 8.0, 2.0, 8.0])
    expected = y.tolist()
    for i in range(1, len(expected) - 1):
        expected[i] = (expected[i - 1] - (expected[i] + expected[i])) + expected[i + 1]
        total = (expected[i - 1] + 4.0 * expected[i]) + expected[i + 1]
        expected[i] = math.sqrt(total) if total >= 0 else -math.nan
    stand_in(y, y)
    S, F = peak_search(y)
    assert S is y and F is y
    assert_same_bits(y, expected)


def test_errors_of_zeros_like_pass_through_unchanged(monkeypatch):
    failure = MemoryError("no room")

    class Failing:
        def __getattr__(self, name):
            if name == "zeros_like":
                def zeros_like(*args, **kwargs):
                    raise failure
                return zeros_like
            return getattr(np, name)

    monkeypatch.setattr(vosterin, "np", Failing())
    with pytest.raises(MemoryError) as raised:
        peak_search(np.zeros(3))
    assert raised.value is failure
    monkeypatch.setattr(vosterin, "np", object())
    with pytest.raises(AttributeError, match="zeros_like"):
        peak_search(np.zeros(3))
