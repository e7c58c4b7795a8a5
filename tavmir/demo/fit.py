"""Least-squares fit of Gaussian peaks on a straight background to a window of a spectrum.

The model of the counts of a bin is the sum of Gaussians (amplitude A, centre mu, variance) at the bin centre
plus a straight line. The residuals are weighted by the Poisson deviation of each count, so the covariance of
the parameters is the inverse of JᵀJ, J the weighted Jacobian, not rescaled by the fit's chi-square.
"""

from collections.abc import Sequence
from typing import NamedTuple

import numpy as np
from scipy.optimize import least_squares

from tavmir.demo.spectrum import Array
from tavmir.utils.numerics.native.gaussian import multi_gaussian_cy, multi_gaussian_jacobian_cy

FWHM_PER_SIGMA = 2.0 * np.sqrt(2.0 * np.log(2.0))


class Peak(NamedTuple):
    """A fitted peak: centre and FWHM in keV, net area in counts, each with its standard uncertainty."""

    centre: float
    centre_error: float
    fwhm: float
    fwhm_error: float
    area: float
    area_error: float


class WindowFit(NamedTuple):
    """The fit of the bins [first, end): A, mu and variance of each peak, then the background's value at
    `middle` (keV) and its slope per keV."""

    first: int
    end: int
    middle: float
    params: Array

    def model(self, x: Array) -> Array:
        """The fitted counts per bin at the energies `x` (keV)."""
        return window_model(x, self.params, self.middle)


def window_model(x: Array, params: Array, middle: float) -> Array:
    background, slope = float(params[-2]), float(params[-1])
    return multi_gaussian_cy(x, params[:-2]) + background + slope * (x - middle)


def window_jacobian(x: Array, params: Array, middle: float) -> Array:
    return np.column_stack((multi_gaussian_jacobian_cy(x, params[:-2]), np.ones_like(x), x - middle))


def fit_window(
    centres: Array, counts: Array, first: int, end: int, peak_centres: Sequence[float], peak_width: float
) -> tuple[WindowFit, list[Peak]]:
    """Fits the bins [first, end), whose centres are `centres[first:end]` keV, with one peak started at each of
    `peak_centres` (keV) with the FWHM `peak_width` (keV)."""
    x, y = centres[first:end], counts[first:end]
    middle = float(0.5 * (x[0] + x[-1]))
    weight = 1.0 / np.sqrt(np.maximum(y, 1.0))
    background = 0.5 * (y[:2].mean() + y[-2:].mean())
    variance = (peak_width / FWHM_PER_SIGMA) ** 2
    start, lower, upper = [], [], []
    for centre in peak_centres:
        height = max(y[np.argmin(np.abs(x - centre))] - background, 1.0)
        start += [height, centre, variance]
        lower += [0.0, x[0], 0.01 * variance]
        upper += [np.inf, x[-1], (x[-1] - x[0]) ** 2]
    start += [background, 0.0]
    lower += [-np.inf, -np.inf]
    upper += [np.inf, np.inf]

    fit = least_squares(
        lambda p: weight * (window_model(x, p, middle) - y),
        np.array(start),
        jac=lambda p: weight[:, None] * window_jacobian(x, p, middle),
        bounds=(lower, upper),
        x_scale="jac",
    )
    params: Array = fit.x
    try:
        covariance = np.linalg.inv(fit.jac.T @ fit.jac)
    except np.linalg.LinAlgError:  # a peak fitted to zero height has no defined centre or width
        covariance = np.full((params.size, params.size), np.nan)
    bin_width = float(x[1] - x[0])
    peaks = [
        peak(params[k : k + 3], covariance[k : k + 3, k : k + 3], bin_width) for k in range(0, params.size - 2, 3)
    ]
    return WindowFit(first, end, middle, params), peaks


def peak(params: Array, covariance: Array, bin_width: float) -> Peak:
    """The Peak of one Gaussian (A, mu, variance) with the covariance of the three, in bins `bin_width` keV
    wide: its net area is A·sqrt(2π·variance)/bin_width counts. Errors are propagated to first order."""
    A, mu, variance = params
    sigma = np.sqrt(variance)
    area_per_height = np.sqrt(2.0 * np.pi) * sigma / bin_width
    area = A * area_per_height
    area_gradient = np.array([area_per_height, 0.0, area / (2.0 * variance)])
    return Peak(
        centre=float(mu),
        centre_error=float(np.sqrt(covariance[1, 1])),
        fwhm=float(FWHM_PER_SIGMA * sigma),
        fwhm_error=float(FWHM_PER_SIGMA * np.sqrt(covariance[2, 2]) / (2.0 * sigma)),
        area=float(area),
        area_error=float(np.sqrt(area_gradient @ covariance @ area_gradient)),
    )
