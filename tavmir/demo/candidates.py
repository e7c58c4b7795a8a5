"""Peak candidates of a spectrum, from the significance of its second difference.

A single bin's second difference is weak against its noise when a peak is several bins wide, so the bins are
first summed in groups about as wide as a peak: sums of counts are counts again, so F stays the standard
deviation of the second difference S. A group is a candidate where -S/F exceeds the threshold, and
neighbouring candidate groups form one region.
"""

import numpy as np

from tavmir.demo.spectrum import Array
from tavmir.utils.numerics.native.vosterin import vosterin_peak_search_cy


def significance(counts: Array, group: int) -> Array:
    """-S/F of the counts summed in groups of `group` bins (an incomplete last group left out); 0 where F is 0,
    at the ends and where there are no counts."""
    summed = counts[: len(counts) // group * group].reshape(-1, group).sum(axis=1)
    S, F = vosterin_peak_search_cy(summed)
    with np.errstate(divide="ignore", invalid="ignore"):
        return np.where(F > 0, -S / F, 0.0)


def candidate_regions(counts: Array, group: int, threshold: float) -> list[tuple[int, int]]:
    """The bins [first, end) of each run of groups whose significance exceeds `threshold`."""
    candidate = significance(counts, group) > threshold
    starts_and_ends = np.flatnonzero(np.diff(np.concatenate(([0], candidate.astype(np.int8), [0]))))
    return [(int(first) * group, int(end) * group) for first, end in starts_and_ends.reshape(-1, 2)]
