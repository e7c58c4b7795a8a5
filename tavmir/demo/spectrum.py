"""A spectrum as a histogram, and the gamma-ray spectrum that ships with the demo.

The shipped spectrum is simulated, the same on every run: the 4096 channels of a germanium detector with a
slightly non-linear energy calibration, a falling continuum, and the lines of Cs-137, Co-60 and K-40, each
channel drawn from a Poisson distribution around its expected count.
"""

from typing import NamedTuple

import numpy as np
from numpy.typing import NDArray
from scipy.special import ndtr

Array = NDArray[np.float64]


class SpectrumError(ValueError):
    """A spectrum that cannot be analysed, with the reason in one line."""


class Spectrum(NamedTuple):
    """The counts of a histogram and its bin edges in keV, one edge more than counts."""

    edges: Array
    counts: Array


# Energy (keV) and net area (counts) of each line.
LINES = ((661.7, 20000.0), (1173.2, 8000.0), (1332.5, 7000.0), (1460.8, 2000.0))
CHANNELS = 4096
SEED = 20250611


def channel_edges() -> Array:
    """The energies (keV) of the channel edges: E = 0.4 + 0.49 c + 1.5e-6 c² at edge c."""
    c = np.arange(CHANNELS + 1, dtype=np.float64)
    return 0.4 + 0.49 * c + 1.5e-6 * c * c


def line_sigma(energy: float) -> float:
    """The standard deviation (keV) of a line at `energy`: FWHM² = (1 keV)² + 0.002 keV · E, electronic noise
    and charge-carrier statistics of a coaxial germanium detector, 1.9 keV FWHM at 1332 keV."""
    return float(np.sqrt(1.0 + 0.002 * energy) / (2.0 * np.sqrt(2.0 * np.log(2.0))))


def expected_counts(edges: Array) -> Array:
    """The expected counts of each bin: the continuum at the bin centre times the bin width, plus the part of
    each line that falls into the bin."""
    centre = 0.5 * (edges[:-1] + edges[1:])
    continuum = 1500.0 * np.exp(-centre / 180.0) + 120.0 * np.exp(-centre / 800.0) + 3.0  # counts per keV
    expected = continuum * np.diff(edges)
    for energy, area in LINES:
        expected += area * np.diff(ndtr((edges - energy) / line_sigma(energy)))
    return expected


def simulated_spectrum(seed: int = SEED) -> Spectrum:
    """The demo's spectrum; another seed gives another measurement of the same source."""
    edges = channel_edges()
    counts = np.random.default_rng(seed).poisson(expected_counts(edges)).astype(np.float64)
    return Spectrum(edges, counts)
