"""What rebin_histogram_cy computes: bit for bit the sequential sweep over the old bins, and in meaning each
old bin's count shared out by overlap."""

import math
from typing import NamedTuple

import numpy as np
import pytest
import rebin_reference
from bitwise import assert_same_bits
from layouts import contiguous, every_second, reversed_view
from rebin_calls import assert_traceback_names_function, left_as_they_were

from tavmir.utils.numerics.native.rebin import rebin_histogram_cy

nan, inf = math.nan, math.inf


def as_argument(values):
    return None if values is None else contiguous(values)


class Raises(NamedTuple):
    exception: type
    message: str


OUT_OF_BOUNDS = Raises(IndexError, rebin_reference.OUT_OF_BOUNDS)
NEGATIVE_DIMENSIONS = Raises(ValueError, "negative dimensions are not allowed")

# energy_axis, count_axis, new_energy_axis -> result, or what is raised
WORKED_EXAMPLES = {
    "identical edges give the counts back": (
        [-1.5, 0.1, 0.3, 7.25, 1e10],
        [3.0, -0.7, 7e300, 1e-300],
        [-1.5, 0.1, 0.3, 7.25, 1e10],
        [3.0, -0.7, 7e300, 1e-300],
    ),
    "splitting": ([0, 2], [4], [0, 1, 2], [2, 2]),
    "merging": ([0, 1, 2], [1, 3], [0, 2], [4]),
    "partial coverage hands out only the covered share": ([0, 4], [8], [2, 3], [2]),
    "new edges below the old range": ([0, 1], [5], [-3, -2, -1], [0, 0]),
    "new edges above the old range": ([0, 1], [5], [2, 3, 4], [0, 0]),
    "new bin touching the right end": ([0, 1], [5], [1, 2], [0]),
    "new bin touching the left end": ([0, 1], [5], [-1, 0], [0]),
    "zero-width new bin stays zero": ([0, 1], [2], [0, 0.5, 0.5, 1], [1, 0, 1]),
    "zero-width old bin is dropped": ([0, 1, 1, 2], [1, 5, 1], [0, 2], [2]),
    "negative-width old bin is dropped": ([0, 1, 0.5, 2], [1, 5, 1.5], [0, 2], [2.5]),
    "negative and NaN counts are shared out": ([0, 2, 4], [-4, nan], [0, 1, 2, 3, 4], [-2, -2, nan, nan]),
    "the cursor never moves back": ([2, 3, 0, 1], [1, 1, 1], [0, 1, 2, 3], [0, 0, 1]),
    "NaN left edge: no share, cursor stays": ([nan, 2, 0, 1], [1, 1, 1], [0, 1, 2, 3], [1, 0, 0]),
    "NaN right edge: no share, cursor moves on": ([2, nan, 0, 1], [1, 1, 1], [0, 1, 2, 3], [0, 0, 0]),
    "infinite old width shares out zeros": ([-inf, inf], [1], [0, 1], [0]),
    "empty counts: energy_axis never read": (None, [], [0, 1, 2], [0, 0]),
    "None counts": ([], None, [0, 1, 2], [0, 0]),
    "one new edge gives an empty result": ([0, 1], [1], [0], []),
    "edges past the last old bin are never read": ([0, 1, nan, 7], [3], [0, 1], [3]),
    "right edge missing": ([0, 1], [1, 1], [0, 1], OUT_OF_BOUNDS),
    "right edge missing with one new edge": ([0], [1], [0], OUT_OF_BOUNDS),
    "left edge missing: energy_axis empty": ([], [1], [0, 1], OUT_OF_BOUNDS),
    "left edge missing: energy_axis None": (None, [1], [0, 1], OUT_OF_BOUNDS),
    "empty new_energy_axis": ([0, 1], [1], [], NEGATIVE_DIMENSIONS),
    "new_energy_axis None": ([0, 1], [1], None, NEGATIVE_DIMENSIONS),
}


def reference_array(*arguments):
    """The reference's result as the float64 array the module returns."""
    return rebin_reference.rebin(*arguments).astype(np.float64)


@pytest.mark.parametrize("implementation", [rebin_histogram_cy, reference_array], ids=["module", "reference"])
@pytest.mark.parametrize(("energy", "counts", "new_energy", "expected"), WORKED_EXAMPLES.values(), ids=WORKED_EXAMPLES)
def test_worked_examples(implementation, energy, counts, new_energy, expected):
    """The module, and the reference that the random comparisons below rely on."""
    arguments = [as_argument(values) for values in (energy, counts, new_energy)]
    with left_as_they_were(*arguments):
        try:
            result = implementation(*arguments)
        except (IndexError, ValueError) as error:
            if implementation is rebin_histogram_cy:
                assert_traceback_names_function(error)
            result = Raises(type(error), str(error))
    if isinstance(expected, Raises):
        assert result == expected
    else:
        assert_same_bits(result, expected)


def ascending(rng, n, low, high):
    return np.sort(rng.uniform(low, high, n))


def with_infinite_ends(rng, n):
    edges = ascending(rng, n, -5, 5)
    edges[[0, -1]] = -inf, inf
    return edges


# Old and new edges, drawn from a seeded generator.
EDGES = {
    "ascending": lambda rng, old, new: (ascending(rng, old + 1, -5, 5), ascending(rng, new + 1, -6, 6)),
    # On a coarse grid, so that edges repeat within each axis and between the two.
    "ties": lambda rng, old, new: (
        np.sort(rng.integers(-8, 9, old + 1)) / 4.0,
        np.sort(rng.integers(-8, 9, new + 1)) / 4.0,
    ),
    "unsorted": lambda rng, old, new: (rng.uniform(-5, 5, old + 1), rng.uniform(-5, 5, new + 1)),
    "nan edges": lambda rng, old, new: (
        np.where(rng.random(old + 1) < 0.2, nan, ascending(rng, old + 1, -5, 5)),
        np.where(rng.random(new + 1) < 0.2, nan, ascending(rng, new + 1, -5, 5)),
    ),
    "partly overlapping ranges": lambda rng, old, new: (
        ascending(rng, old + 1, 0, 10),
        ascending(rng, new + 1, *rng.permutation([[-10, 5], [5, 20]])[0]),
    ),
    "infinite ends": lambda rng, old, new: (with_infinite_ends(rng, old + 1), with_infinite_ends(rng, new + 1)),
}


# The NaN that invalid operations such as inf - inf produce; NaNs of every sign and payload are drawn by the
# property tests.
GENERATED_NAN = inf - inf


def random_counts(rng, n):
    counts = rng.standard_normal(n) * 10.0 ** rng.integers(-3, 4, n)
    special = rng.random(n) < 0.05
    counts[special] = rng.choice([GENERATED_NAN, inf, -inf, -0.0], special.sum())
    return counts


def mixed(rng, values):
    return [contiguous, every_second, reversed_view][rng.integers(3)](values)


LAYOUTS = {
    "contiguous": lambda rng, values: contiguous(values),
    "every second": lambda rng, values: every_second(values),
    "reversed": lambda rng, values: reversed_view(values),
    "mixed": mixed,
}


@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("edges", EDGES)
def test_same_bits_as_reference(edges, layout):
    rng = np.random.default_rng([list(EDGES).index(edges), list(LAYOUTS).index(layout)])
    for _ in range(40):
        old_n, new_n = rng.integers(0, 30, 2)
        energy, new_energy = EDGES[edges](rng, old_n, new_n)
        # Now and then energy_axis is shorter or longer than the counts need.
        if rng.random() < 0.2:
            energy = energy[: rng.integers(0, len(energy) + 1)]
        elif rng.random() < 0.2:
            energy = np.concatenate((energy, rng.uniform(-5, 5, 3)))
        counts = random_counts(rng, old_n)
        arguments = [LAYOUTS[layout](rng, values) for values in (energy, counts, new_energy)]
        try:
            expected = rebin_reference.rebin(energy, counts, new_energy)
        except IndexError:
            with pytest.raises(IndexError, match=r"^Out of bounds on buffer access \(axis 0\)$"):
                rebin_histogram_cy(*arguments)
            continue
        assert_same_bits(rebin_histogram_cy(*arguments), expected)


@pytest.mark.parametrize(("old_n", "new_n"), [(1, 1), (1, 9), (40, 7), (7, 40), (300, 300), (2000, 37)])
def test_counts_shared_out_by_overlap(old_n, new_n):
    """Checks the meaning rather than the code: with ascending edges and new edges that cover the old range,
    the total is kept, and each new bin holds the rise of the linearly interpolated cumulative count across
    it."""
    rng = np.random.default_rng([old_n, new_n])
    energy = np.cumsum(rng.uniform(0.1, 2.0, old_n + 1))
    counts = rng.uniform(0.0, 100.0, old_n)
    new_energy = np.sort(rng.uniform(energy[0], energy[-1], new_n + 1))
    new_energy[0] = energy[0] - rng.uniform(0.0, 1.0)
    new_energy[-1] = energy[-1] + rng.uniform(0.0, 1.0)

    result = rebin_histogram_cy(energy, counts, new_energy)

    total = counts.sum()
    assert math.isclose(result.sum(), total, rel_tol=1e-12)
    cumulative = np.interp(new_energy, energy, np.concatenate(([0.0], np.cumsum(counts))))
    np.testing.assert_allclose(result, np.diff(cumulative), rtol=1e-10, atol=1e-13 * total)
