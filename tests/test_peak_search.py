"""vosterin_peak_search_cy: second differences and their deviations, bit for bit."""

import math
import warnings

import numpy as np
import pytest

import vosterin_reference
from bitwise import assert_same_bits
from layouts import LAYOUTS
from tavmir.utils.numerics.native.vosterin import vosterin_peak_search_cy


def spectrum(seed, n):
    """Counts-like values with negatives, NaN, infinities and huge and tiny magnitudes mixed in."""
    rng = np.random.default_rng(seed)
    y = rng.poisson(50.0, n).astype(np.float64) + rng.standard_normal(n)
    specials = [np.nan, np.inf, -np.inf, -3.5, 0.0, -0.0, 1e300, 5e-324, 1e16]
    where = rng.choice(n, size=min(n, 12), replace=False) if n else []
    y[where] = rng.choice(specials, size=len(where))
    return y


@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("n", [0, 1, 2, 3, 4, 17, 1000])
def test_matches_reference_on_every_layout(layout, n):
    values = spectrum(n, n)
    y = LAYOUTS[layout](values)
    S, F = vosterin_peak_search_cy(y)
    expected_S, expected_F = vosterin_reference.peak_search(values)
    assert_same_bits(S, expected_S)
    assert_same_bits(F, expected_F)


@pytest.mark.parametrize(
    "y, index, S_value, F_value",
    [
        ([0.0, 10.0, 0.0], 1, -20.0, math.sqrt(40.0)),
        ([1.0, 2.0, 3.0, 4.0], 2, 0.0, math.sqrt(18.0)),
        ([-5.0, 0.0, -5.0], 1, -10.0, math.nan),
        # The association is fixed: (y0 - 2 y1) + y2, not y0 + (y2 - 2 y1), which would give -1e16.
        ([1e16, 1e16, 2.0], 1, -1e16 + 2.0, math.sqrt(5e16 + 2.0)),
        # (y0 + 4 y1) + y2: adding y2 to 4 y1 first would give the next double above 1e8.
        ([1e16, 1e-16, 1.0], 1, 1e16 - 2e-16 + 1.0, 1e8),
        ([1.0, math.inf, 1.0], 1, -math.inf, math.inf),
        ([math.inf, 0.0, math.inf], 1, math.inf, math.inf),
        ([math.inf, 1.0, -math.inf], 1, math.nan, math.nan),
    ],
)
def test_worked_examples(y, index, S_value, F_value):
    S, F = vosterin_peak_search_cy(np.array(y))
    assert S[index] == S_value or (math.isnan(S_value) and math.isnan(S[index]))
    assert F[index] == F_value or (math.isnan(F_value) and math.isnan(F[index]))
    assert S[0] == S[-1] == F[0] == F[-1] == 0.0


def test_straight_line_has_no_curvature():
    S, F = vosterin_peak_search_cy(np.array([1.0, 2.0, 3.0, 4.0]))
    assert_same_bits(S, [0.0, 0.0, 0.0, 0.0])
    assert_same_bits(F, [0.0, math.sqrt(12.0), math.sqrt(18.0), 0.0])


def test_results_are_new_plain_arrays_even_for_a_subclass_argument():
    class Spectrum(np.ndarray):
        pass

    y = np.arange(6.0).view(Spectrum)
    before = y.copy()
    S, F = vosterin_peak_search_cy(y)
    assert type(S) is np.ndarray and type(F) is np.ndarray
    assert not np.shares_memory(S, y) and not np.shares_memory(F, y) and not np.shares_memory(S, F)
    S[:] = F[:] = -1.0
    assert_same_bits(np.asarray(y), before)


def test_keyword_call():
    y = np.array([0.0, 10.0, 0.0])
    S, F = vosterin_peak_search_cy(y_d2=y)
    assert_same_bits(S, [0.0, -20.0, 0.0])


def test_none_reaches_zeros_like_and_its_0d_result_is_refused():
    with pytest.raises(ValueError, match=r"^Buffer has wrong number of dimensions \(expected 1, got 0\)$"):
        vosterin_peak_search_cy(None)


def test_no_warning_or_error_from_the_arithmetic():
    with warnings.catch_warnings(), np.errstate(all="raise"):
        warnings.simplefilter("error")
        S, F = vosterin_peak_search_cy(np.array([-5.0, 0.0, -5.0, np.nan, np.inf, -np.inf, 1e308, 1e308]))
    assert np.isnan(F[1]) and np.isnan(S[3])
