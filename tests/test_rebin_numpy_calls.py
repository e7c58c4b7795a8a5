"""How rebin_histogram_cy makes its result through the module-level `np`, and what happens when `np` is
rebound to something whose zeros hands back a short array or an array that is also an argument."""

import builtins

import numpy as np
import pytest
import rebin_reference
from bitwise import assert_same_bits
from layouts import read_only
from rebin_calls import left_as_they_were, writable_buffer_refusal

from tavmir.utils.numerics.native import rebin
from tavmir.utils.numerics.native.rebin import rebin_histogram_cy


class StandInNumpy:
    """Takes the place of `np` in the module's namespace. It records every attribute fetched from it, in order,
    and the calls of zeros and asarray; zeros returns what `make_zeros` returns, NumPy's zeros by default."""

    def __init__(self, make_zeros=np.zeros):
        self.fetched = []
        self.zeros_calls = []
        self.asarray_calls = []
        self.made = []
        self.make_zeros = make_zeros

    def __getattr__(self, name):
        self.fetched.append(name)
        return {"zeros": self.recorded_zeros, "asarray": self.recorded_asarray}.get(name) or getattr(np, name)

    def recorded_zeros(self, *args, **kwargs):
        self.zeros_calls.append((args, kwargs))
        made = self.make_zeros(*args, **kwargs)
        self.made.append(made)
        return made

    def recorded_asarray(self, *args, **kwargs):
        self.asarray_calls.append((args, kwargs))
        return np.asarray(*args, **kwargs)


@pytest.fixture
def stand_in(monkeypatch):
    """Rebinds the module's `np` to a StandInNumpy for one test."""

    def install(make_zeros=np.zeros):
        numpy = StandInNumpy(make_zeros)
        monkeypatch.setattr(rebin, "np", numpy)
        return numpy

    return install


def test_result_is_the_zeros_array_through_a_view(stand_in):
    numpy = stand_in()
    result = rebin_histogram_cy(np.array([0.0, 2.0]), np.array([4.0]), np.array([0.0, 1.0, 2.0]))

    assert numpy.fetched == ["zeros", "float64", "asarray"]
    [(args, kwargs)] = numpy.zeros_calls
    assert type(args[0]) is int and args == (2,) and kwargs == {"dtype": np.float64}
    # asarray gets a view object of its own, not the zeros array, exporting the same memory with write access.
    [((view_object,), asarray_keywords)] = numpy.asarray_calls
    assert asarray_keywords == {}
    [made] = numpy.made
    assert type(view_object) is not np.ndarray
    exported = memoryview(view_object)
    assert not exported.readonly and exported.shape == (2,) and exported.strides == (8,)
    assert type(result) is np.ndarray and result.dtype == np.float64 and result.shape == (2,)
    assert result.flags.writeable
    address = made.__array_interface__["data"][0]
    assert result.__array_interface__["data"][0] == np.asarray(exported).__array_interface__["data"][0] == address
    assert_same_bits(made, [2.0, 2.0])


def test_np_is_looked_up_at_each_use(monkeypatch):
    second = StandInNumpy()

    def zeros_that_rebinds_np(*args, **kwargs):
        monkeypatch.setattr(rebin, "np", second)
        return np.zeros(*args, **kwargs)

    first = StandInNumpy(zeros_that_rebinds_np)
    monkeypatch.setattr(rebin, "np", first)
    rebin_histogram_cy(None, None, np.array([0.0, 1.0]))
    assert first.fetched == ["zeros", "float64"]  # float64 is fetched before zeros is called
    assert second.fetched == ["asarray"]


def test_np_from_builtins_or_missing(monkeypatch):
    monkeypatch.delattr(rebin, "np")
    with pytest.raises(NameError, match="^name 'np' is not defined$"):
        rebin_histogram_cy(None, None, np.array([0.0, 1.0]))
    monkeypatch.setattr(builtins, "np", StandInNumpy(), raising=False)
    assert_same_bits(rebin_histogram_cy(None, None, np.array([0.0, 1.0])), [0.0])
    assert builtins.np.fetched == ["zeros", "float64", "asarray"]


class Refusal(Exception):
    pass


def refuse(*args, **kwargs):
    raise Refusal("made up")


# What the stand-in's zeros returns -> exception, message; None for both means the exporter's own refusal of a
# writable buffer.
UNUSABLE_ZEROS = {
    "zeros raises": (refuse, Refusal, "made up"),
    "a list": (lambda n, dtype: [0.0] * n, None, None),
    "a read-only array": (lambda n, dtype: read_only([0.0] * n), None, None),
    "float32": (
        lambda n, dtype: np.zeros(n, np.float32),
        ValueError,
        "Buffer dtype mismatch, expected 'double' but got 'float'",
    ),
    "2-D": (
        lambda n, dtype: np.zeros((n, 1)),
        ValueError,
        "Buffer has wrong number of dimensions (expected 1, got 2)",
    ),
}


@pytest.mark.parametrize(("make_zeros", "exception", "message"), UNUSABLE_ZEROS.values(), ids=UNUSABLE_ZEROS)
def test_errors_of_zeros_pass_through(stand_in, make_zeros, exception, message):
    numpy = stand_in(make_zeros)
    arguments = [np.array([0.0, 2.0]), np.array([4.0]), np.array([0.0, 1.0, 2.0])]
    if exception is None:
        exception, message = writable_buffer_refusal(make_zeros(2, np.float64))
    with left_as_they_were(*arguments), pytest.raises(exception) as raised:
        rebin_histogram_cy(*arguments)
    assert str(raised.value) == message
    assert numpy.asarray_calls == []


def test_errors_of_asarray_pass_through(stand_in):
    numpy = stand_in()
    numpy.recorded_asarray = refuse
    try:
        rebin_histogram_cy(np.array([0.0, 2.0]), np.array([4.0]), np.array([0.0, 1.0, 2.0]))
    except Refusal:
        pass  # dropping the exception drops the view object that refuse() was given
    else:
        pytest.fail("asarray's error did not pass through")
    made = numpy.made.pop()
    made.resize(3)  # refused while anything, such as a held buffer, still refers to the array


def outcome(function, *args):
    """What a call gives: its result, or the type and message of the IndexError it raises."""
    try:
        return function(*args)
    except IndexError as error:
        return IndexError, str(error)


def assert_same_outcome(result, expected, expected_counts):
    """The module's outcome against the reference sweep's (None when it finished, leaving expected_counts):
    the same IndexError, or a result with the bits the reference left."""
    if expected is None:
        assert_same_bits(result, expected_counts)
    else:
        assert result == expected


SENTINEL = -7.25
# Room on both sides of a short result, wide enough that even a write past its end by as many new bins as the
# tests have would land inside the guard array and show there.
ROOM = 48

# Where a result of `length` elements lies inside a larger guard array that holds sentinels everywhere else.
SHORT_LAYOUTS = {
    "slice": lambda guard, length: guard[ROOM : ROOM + length],
    "every second": lambda guard, length: guard[ROOM : ROOM + 2 * length : 2],
    "reversed": lambda guard, length: guard[ROOM : ROOM + length][::-1],
}


def short_zeros(layout, length):
    """A guard array of sentinels, and `length` zeros laid out inside it."""
    guard = np.full(2 * length + 2 * ROOM, SENTINEL)
    zeros = SHORT_LAYOUTS[layout](guard, length)
    zeros[...] = 0.0
    return guard, zeros


# energy_axis, count_axis, new_energy_axis, the length np.zeros hands back (new_n - 1 or fewer)
SHORT_CASES = {
    "writes run past the end": ([0, 1, 2, 3, 4], [1, 2, 3, 4], [0, 1, 2, 3, 4], 2),
    "no room for the first write": ([0, 1, 2, 3, 4], [1, 2, 3, 4], [0, 1, 2, 3, 4], 0),
    "writes stay inside": ([0, 1], [5], [0, 1, 2, 3], 1),
    "a write past the end before a missing edge": ([0, 1, 2], [1, 1, 1], [0, 1, 2, 3], 1),
    "a missing edge before any write past the end": ([0, 1], [1, 1, 1], [0, 1, 2, 3], 1),
    "a split bin": ([0, 4], [8], [0, 1, 2, 3, 4], 3),
}


@pytest.mark.parametrize("layout", SHORT_LAYOUTS)
@pytest.mark.parametrize(("energy", "counts", "new_energy", "length"), SHORT_CASES.values(), ids=SHORT_CASES)
def test_zeros_shorter_than_the_new_bins(stand_in, layout, energy, counts, new_energy, length):
    """A rebound np.zeros that hands back fewer than new_n elements: each write is checked, the call raises
    IndexError at the first write past the end, and nothing outside the array is touched."""
    arguments = [np.array(values, dtype=np.float64) for values in (energy, counts, new_energy)]
    guard, zeros = short_zeros(layout, length)
    stand_in(lambda n, dtype: zeros)
    expected_guard, expected_zeros = short_zeros(layout, length)

    result = outcome(rebin_histogram_cy, *arguments)
    expected = outcome(rebin_reference.sweep, *arguments, expected_zeros)

    assert_same_bits(guard, expected_guard)
    assert_same_outcome(result, expected, expected_zeros)
    if expected is None:
        assert np.shares_memory(result, zeros)


def test_zeros_returning_none(stand_in):
    """None gives an empty view, so the first write is past its end."""
    stand_in(lambda n, dtype: None)
    with pytest.raises(IndexError, match=r"^Out of bounds on buffer access \(axis 0\)$"):
        rebin_histogram_cy(np.array([0.0, 1.0]), np.array([1.0]), np.array([0.0, 1.0]))


def test_zeros_shorter_than_the_new_bins_at_random(stand_in):
    rng = np.random.default_rng(5)
    for _ in range(200):
        old_n, new_n = rng.integers(1, 20, 2)
        arguments = [
            np.sort(rng.uniform(-3, 3, old_n + 1)),
            rng.uniform(-5, 5, old_n),
            np.sort(rng.uniform(-3, 3, new_n + 1)),
        ]
        layout = list(SHORT_LAYOUTS)[rng.integers(len(SHORT_LAYOUTS))]
        length = rng.integers(0, new_n)
        guard, zeros = short_zeros(layout, length)
        stand_in(lambda n, dtype, zeros=zeros: zeros)
        expected_guard, expected_zeros = short_zeros(layout, length)
        result = outcome(rebin_histogram_cy, *arguments)
        expected = outcome(rebin_reference.sweep, *arguments, expected_zeros)
        assert_same_bits(guard, expected_guard)
        assert_same_outcome(result, expected, expected_zeros)


# Which part of the arguments a rebound np.zeros hands back as the result.
ALIASES = {
    "count_axis": lambda energy, counts, new_energy: counts,
    "count_axis reversed": lambda energy, counts, new_energy: counts[::-1],
    "energy_axis": lambda energy, counts, new_energy: energy,
    "energy_axis from the second edge": lambda energy, counts, new_energy: energy[1:],
    "new_energy_axis every second": lambda energy, counts, new_energy: new_energy[::2],
    # Every new bin is the first count: each write changes what the next one adds to.
    "the first count, repeated": lambda energy, counts, new_energy: (
        np.lib.stride_tricks.as_strided(counts, shape=(len(new_energy) - 1,), strides=(0,)) if len(counts) else counts
    ),
}


@pytest.mark.parametrize("alias", ALIASES)
def test_zeros_sharing_memory_with_an_argument(stand_in, alias):
    """The sweep reads every element where it reads it and writes where it writes, so a result that is also an
    argument changes later reads exactly as the sequential algorithm says, with no access outside any array."""
    rng = np.random.default_rng(list(ALIASES).index(alias))
    for _ in range(100):
        old_n, new_n = rng.integers(0, 16, 2)
        arguments = [
            np.sort(rng.integers(-6, 7, old_n + 1) / 2.0),
            rng.uniform(-5, 5, old_n),
            np.sort(rng.integers(-6, 7, new_n + 1) / 2.0),
        ]
        expected_arguments = [array.copy() for array in arguments]
        stand_in(lambda n, dtype, arguments=arguments: ALIASES[alias](*arguments))

        result = outcome(rebin_histogram_cy, *arguments)
        expected_counts = ALIASES[alias](*expected_arguments)
        expected = outcome(rebin_reference.sweep, *expected_arguments, expected_counts)

        for array, expected_array in zip(arguments, expected_arguments):
            assert_same_bits(array, expected_array)
        assert_same_outcome(result, expected, expected_counts)
