"""Every function against its plain-Python reference, bit for bit, on arbitrary doubles (NaNs with payloads,
infinities, signed zeros, subnormals, huge and tiny magnitudes) of any length, laid out in memory in arbitrary
ways: every n-th element forwards or backwards, at an offset into a larger array, misaligned, read-only.

The references say which NaN may come out where two NaNs of different bits meet in an addition or a
multiplication; everywhere else a result must have exactly the reference's bits, whatever the layout."""

import numpy as np
from hypothesis import event, given, note
from hypothesis import strategies as st

import gaussian_reference
import rebin_reference
import vosterin_reference
from bitwise import assert_same_bits
from doubles import bits_of
from float64_strategies import Layout, edge_lists, float64s, layouts
from tavmir.utils.numerics.native.gaussian import multi_gaussian_cy, multi_gaussian_jacobian_cy
from tavmir.utils.numerics.native.rebin import rebin_histogram_cy
from tavmir.utils.numerics.native.vosterin import vosterin_peak_search_cy

CONTIGUOUS = Layout(step=1, offset=0, misalignment=0, read_only=False)


class Argument:
    """Values laid out as an array argument (None stays None), with the bytes around them to check that the call
    wrote nothing there or in the array."""

    def __init__(self, name, values, layout):
        if values is None:
            self.storage, self.array = np.zeros(0, np.uint8), None
        else:
            self.storage, self.array = layout.place(values)
            note(f"{name} = {[f'0x{bits_of(value):016x}' for value in values]} laid out as {layout}")
        self.before = self.storage.tobytes()

    def assert_untouched(self):
        assert self.storage.tobytes() == self.before


def count_nan_meetings(*expected):
    """For hypothesis's statistics: whether two NaNs of different bits met anywhere in an example's results."""
    met = any(len(value.bits) > 1 for results in expected for value in np.asarray(results, dtype=object).flat)
    event("two NaNs met" if met else "no two NaNs met")


def outcome(function, *arguments):
    """The result, or the type and message of what the call raised."""
    try:
        return function(*arguments)
    except (IndexError, ValueError) as error:
        return type(error), str(error)


def now_and_then(rare, usual):
    """A value of `rare` now and then, of `usual` otherwise (to which examples shrink)."""
    return st.integers(0, 9).flatmap(lambda drawn: rare if drawn >= 8 else usual)


@given(y=st.lists(float64s(), max_size=40), layout=layouts())
def test_peak_search(y, layout):
    expected_S, expected_F = vosterin_reference.peak_search(y)
    count_nan_meetings(expected_S, expected_F)
    # Contiguous arrays take a vectorised path of their own; every layout must give the same bits.
    for y_layout in (layout, CONTIGUOUS):
        argument = Argument("y_d2", y, y_layout)
        S, F = vosterin_peak_search_cy(argument.array)
        assert_same_bits(S, expected_S)
        assert_same_bits(F, expected_F)
        argument.assert_untouched()


@st.composite
def histograms(draw):
    """Old edges, counts and new edges. Now and then one is None, there are more or fewer old edges than the
    counts need, or there are no new edges."""
    counts = draw(now_and_then(st.none(), st.lists(float64s(), max_size=12)))
    bins = 0 if counts is None else len(counts)
    energy = draw(now_and_then(st.none() | edge_lists(0, bins + 3), edge_lists(bins + 1, bins + 1)))
    new_energy = draw(now_and_then(st.none() | edge_lists(0, 0), edge_lists(1, 14)))
    return energy, counts, new_energy


writable_layouts = layouts(read_only=st.just(False))


@given(histogram=histograms(), layouts=st.tuples(writable_layouts, writable_layouts, writable_layouts))
def test_rebin(histogram, layouts):
    names = ("energy_axis", "count_axis", "new_energy_axis")
    arguments = [Argument(*drawn) for drawn in zip(names, histogram, layouts)]
    result = outcome(rebin_histogram_cy, *(argument.array for argument in arguments))
    expected = outcome(rebin_reference.rebin, *histogram)
    event("refused" if isinstance(expected, tuple) else "swept")
    if isinstance(expected, tuple):
        assert result == expected
    else:
        count_nan_meetings(expected)
        assert_same_bits(result, expected)
    for argument in arguments:
        argument.assert_untouched()


# Now and then more samples than the Jacobian fills in one block of rows.
samples = now_and_then(st.lists(float64s(), min_size=60, max_size=70), st.lists(float64s(), max_size=12))


@given(
    x=now_and_then(st.none(), samples),
    params=now_and_then(st.none(), st.lists(float64s(), max_size=10)),
    x_layout=layouts(),
    params_layout=layouts(),
)
def test_gaussian(x, params, x_layout, params_layout):
    x_argument, params_argument = Argument("x", x, x_layout), Argument("params", params, params_layout)
    y = multi_gaussian_cy(x_argument.array, params_argument.array)
    J = multi_gaussian_jacobian_cy(x_argument.array, params_argument.array)
    expected_y, expected_J = gaussian_reference.model(x, params), gaussian_reference.jacobian(x, params)
    count_nan_meetings(expected_y, expected_J)
    assert_same_bits(y, expected_y)
    assert_same_bits(J, expected_J)
    x_argument.assert_untouched()
    params_argument.assert_untouched()
