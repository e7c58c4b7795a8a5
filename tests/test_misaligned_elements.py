"""Arrays whose elements lie at addresses that are not multiples of 8, such as the field of a packed record array
or bytes viewed from an odd offset, are read and written in place like any other, to the same bits. (An access
that assumed alignment is undefined behaviour, which the sanitized test run reports.)"""

import types

import numpy as np
import pytest

from bitwise import assert_same_bits
from tavmir.utils.numerics.native import gaussian, rebin, vosterin
from tavmir.utils.numerics.native.gaussian import multi_gaussian_cy, multi_gaussian_jacobian_cy
from tavmir.utils.numerics.native.rebin import rebin_histogram_cy
from tavmir.utils.numerics.native.vosterin import vosterin_peak_search_cy


def packed_field(values):
    """The float64 field of a packed record array: 9 bytes apart, at odd addresses."""
    records = np.zeros(len(values), dtype=[("flag", "u1"), ("value", "f8")])
    records["value"] = values
    return records["value"]


def from_odd_offset(values, shape=None):
    """Adjacent doubles starting one byte past an address that is a multiple of 8."""
    values = np.asarray(values, dtype=np.float64)
    raw = np.zeros(values.nbytes + 8, np.uint8)
    array = raw[1 : 1 + values.nbytes].view(np.float64).reshape(values.shape)
    array[...] = values
    return array


MISALIGNED = {
    "packed record field": packed_field,
    "from an odd offset": from_odd_offset,
    "reversed, from an odd offset": lambda values: from_odd_offset(values[::-1])[::-1],
}

# Long enough for the vectorised loops.
EDGES = np.linspace(-3.0, 5.0, 41)
COUNTS = np.sin(np.arange(40.0)) + 2.0
NEW_EDGES = np.linspace(-4.0, 6.0, 23)
PARAMS = np.array([2.0, 0.5, 1.5, -1.0, 3.0, 0.25, 7.0])


@pytest.mark.parametrize("misaligned", MISALIGNED.values(), ids=MISALIGNED)
def test_misaligned_arguments_give_the_aligned_results(misaligned):
    S, F = vosterin_peak_search_cy(misaligned(COUNTS))
    expected_S, expected_F = vosterin_peak_search_cy(COUNTS)
    assert_same_bits(S, expected_S)
    assert_same_bits(F, expected_F)
    assert_same_bits(
        rebin_histogram_cy(misaligned(EDGES), misaligned(COUNTS), misaligned(NEW_EDGES)),
        rebin_histogram_cy(EDGES, COUNTS, NEW_EDGES),
    )
    for function in (multi_gaussian_cy, multi_gaussian_jacobian_cy):
        assert_same_bits(function(misaligned(EDGES), misaligned(PARAMS)), function(EDGES, PARAMS))


def misaligned_numpy():
    """A stand-in for `np` whose zeros and zeros_like make their arrays from an odd offset."""
    return types.SimpleNamespace(
        zeros=lambda shape, dtype=np.float64: from_odd_offset(np.zeros(shape, dtype)),
        zeros_like=lambda a, dtype: from_odd_offset(np.zeros_like(a, dtype)),
        float64=np.float64,
        asarray=np.asarray,
    )


def test_misaligned_results_are_filled_in_place(monkeypatch):
    expected_S, expected_F = vosterin_peak_search_cy(COUNTS)
    expected_counts = rebin_histogram_cy(EDGES, COUNTS, NEW_EDGES)
    expected_y, expected_J = multi_gaussian_cy(EDGES, PARAMS), multi_gaussian_jacobian_cy(EDGES, PARAMS)
    for module in (vosterin, rebin, gaussian):
        monkeypatch.setattr(module, "np", misaligned_numpy())
    S, F = vosterin_peak_search_cy(COUNTS)
    assert_same_bits(S, expected_S)
    assert_same_bits(F, expected_F)
    assert_same_bits(rebin_histogram_cy(EDGES, COUNTS, NEW_EDGES), expected_counts)
    assert_same_bits(multi_gaussian_cy(EDGES, PARAMS), expected_y)
    assert_same_bits(multi_gaussian_jacobian_cy(EDGES, PARAMS), expected_J)
