"""The demo's analysis of one spectrum: rebinning onto a uniform energy calibration, the peak candidates, and a
fit of every window of the spectrum that holds candidates.

`analyse` is a plain function of a Spectrum that returns an Analysis, and all three pickle: it maps over many
spectra in worker processes as it is.
"""

from typing import NamedTuple

import numpy as np

from tavmir.demo.candidates import candidate_regions
from tavmir.demo.fit import Peak, WindowFit, fit_window
from tavmir.demo.spectrum import Array, Spectrum, SpectrumError
from tavmir.utils.numerics.native.rebin import rebin_histogram_cy

THRESHOLD = 4.0  # the significance -S/F of a candidate
BIN_WIDTH = 0.5  # keV, of the new calibration
PEAK_WIDTH = 2.0  # keV, the FWHM expected of a peak
WINDOW_MARGIN = 3.0  # FWHMs of background fitted on each side of a candidate region


class Analysis(NamedTuple):
    """What `analyse` found in a spectrum."""

    spectrum: Spectrum  # rebinned
    candidates: list[tuple[int, int]]  # the bins [first, end) of each candidate region
    fits: list[WindowFit]
    peaks: list[Peak]


def uniform_edges(edges: Array, bin_width: float) -> Array:
    """The multiples of `bin_width` within [edges[0], edges[-1]]: each new bin lies wholly inside the old
    ones, since a bin only partly covered shows a step that looks like a peak."""
    edges = bin_width * np.arange(np.ceil(edges[0] / bin_width), np.floor(edges[-1] / bin_width) + 1.0)
    if len(edges) < 2:
        raise SpectrumError(f"the spectrum is narrower than one bin of {bin_width:g} keV")
    return edges


def rebinned(spectrum: Spectrum, bin_width: float) -> Spectrum:
    """The spectrum on uniform bins of `bin_width` keV: the counts of each old bin are shared among the new bins
    by overlap, so none is lost inside the new range."""
    # rebin_histogram_cy takes its arrays writable, though it only reads them: read-only arrays (a memory map
    # opened for reading, an array unpickled from out-of-band buffers) are copied.
    edges = np.require(spectrum.edges, np.float64, "W")
    counts = np.require(spectrum.counts, np.float64, "W")
    new_edges = uniform_edges(edges, bin_width)
    return Spectrum(new_edges, rebin_histogram_cy(edges, counts, new_edges))


def fit_windows(
    regions: list[tuple[int, int]], bins: int, margin: int
) -> list[tuple[int, int, list[tuple[int, int]]]]:
    """The bins [first, end) of each window to fit and the candidate regions in it: a region widened by
    `margin` bins on each side, merged with the next one where the two overlap."""
    windows: list[tuple[int, int, list[tuple[int, int]]]] = []
    for region in regions:
        first, end = max(region[0] - margin, 0), min(region[1] + margin, bins)
        if windows and first < windows[-1][1]:
            first, _, merged = windows.pop()
            windows.append((first, end, merged + [region]))
        else:
            windows.append((first, end, [region]))
    return windows


def analyse(
    spectrum: Spectrum, threshold: float = THRESHOLD, bin_width: float = BIN_WIDTH, peak_width: float = PEAK_WIDTH
) -> Analysis:
    """Rebins `spectrum` onto bins of `bin_width` keV, finds the candidate regions whose significance exceeds
    `threshold` in groups of bins about `peak_width` keV wide, and fits each window of them with one peak per
    region, started at the region's highest bin."""
    spectrum = rebinned(spectrum, bin_width)
    group = max(1, round(peak_width / bin_width))
    candidates = candidate_regions(spectrum.counts, group, threshold)
    centres = 0.5 * (spectrum.edges[:-1] + spectrum.edges[1:])
    margin = max(1, round(WINDOW_MARGIN * peak_width / bin_width))
    fits, peaks = [], []
    for first, end, regions in fit_windows(candidates, len(spectrum.counts), margin):
        peak_centres = [float(centres[a + np.argmax(spectrum.counts[a:b])]) for a, b in regions]
        fit, window_peaks = fit_window(centres, spectrum.counts, first, end, peak_centres, peak_width)
        fits.append(fit)
        peaks += window_peaks
    return Analysis(spectrum, candidates, fits, peaks)
