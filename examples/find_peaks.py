"""Finds the peaks of a simulated gamma-ray spectrum with the native peak search.

The spectrum is first summed in groups of channels about as wide as its peaks (sums of counts are counts
again). A group is a peak candidate where the second difference S is significantly negative: -S/F above the
threshold, F being the standard deviation of S for Poisson counts. Neighbouring candidates form one region.
"""

import argparse

import numpy as np

from tavmir.utils.numerics.native.vosterin import vosterin_peak_search_cy

# (centre in channels, height in counts, standard deviation in channels)
LINES = [(661.7, 900.0, 4.0), (1173.2, 500.0, 5.0), (1332.5, 450.0, 5.5), (1460.8, 300.0, 6.0)]


def simulated_spectrum(channels=2048, seed=7):
    rng = np.random.default_rng(seed)
    x = np.arange(channels, dtype=np.float64)
    expected = 400.0 * np.exp(-x / 500.0) + 20.0
    for centre, height, sigma in LINES:
        expected += height * np.exp(-0.5 * ((x - centre) / sigma) ** 2)
    return rng.poisson(expected).astype(np.float64)


def peak_regions(counts, threshold, group):
    """(first channel, last channel, significance) of each run of candidate groups of `group` channels."""
    summed = counts[: len(counts) // group * group].reshape(-1, group).sum(axis=1)
    S, F = vosterin_peak_search_cy(summed)
    with np.errstate(divide="ignore", invalid="ignore"):
        significance = np.where(F > 0, -S / F, 0.0)
    candidate = significance > threshold
    edges = np.flatnonzero(np.diff(np.concatenate(([0], candidate.astype(np.int8), [0]))))
    return [
        (first * group, last * group - 1, significance[first:last].max())
        for first, last in zip(edges[::2], edges[1::2])
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--threshold", type=float, default=4.0, help="significance threshold (default 4)")
    parser.add_argument("--group", type=int, default=8, help="channels summed per group (default 8)")
    args = parser.parse_args()
    regions = peak_regions(simulated_spectrum(), args.threshold, args.group)
    print(f"{len(regions)} peak regions above {args.threshold:g} sigma")
    print(f"{'channels':>13}  {'significance':>12}")
    for first, last, significance in regions:
        print(f"{first:6d}-{last:<6d}  {significance:12.1f}")


if __name__ == "__main__":
    main()
