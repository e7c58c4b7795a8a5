"""The Gaussian module as a fitting client uses it: the model as residual and its Jacobian as `jac` of
scipy.optimize.least_squares."""

import numpy as np
import pytest
from scipy.optimize import least_squares

from tavmir.utils.numerics.native.gaussian import multi_gaussian_cy, multi_gaussian_jacobian_cy

TRUE_PARAMS = np.array([120.0, 40.0, 9.0, 70.0, 52.0, 16.0])  # A, mu, variance of two overlapping peaks
NOISE = 2.0
CHANNELS = np.arange(0.0, 100.0, 0.5)


@pytest.fixture(scope="module")
def spectrum():
    rng = np.random.default_rng(20240611)
    return multi_gaussian_cy(CHANNELS, TRUE_PARAMS) + rng.normal(0.0, NOISE, CHANNELS.size)


def residual(params, y):
    return multi_gaussian_cy(CHANNELS, params) - y


def jacobian(params, y):
    return multi_gaussian_jacobian_cy(CHANNELS, params)


def test_fit_recovers_centres_and_widths_within_their_uncertainty(spectrum):
    start = np.array([100.0, 38.0, 12.0, 50.0, 55.0, 10.0])
    fit = least_squares(residual, start, jac=jacobian, args=(spectrum,), x_scale="jac")
    assert fit.success

    dof = CHANNELS.size - TRUE_PARAMS.size
    assert 0.6 < 2 * fit.cost / (NOISE**2 * dof) < 1.4  # chi-square per degree of freedom, within 4 sigma
    covariance = NOISE**2 * np.linalg.inv(fit.jac.T @ fit.jac)
    standard_error = np.sqrt(np.diag(covariance))
    pulls = (fit.x - TRUE_PARAMS) / standard_error
    assert np.all(np.abs(pulls) < 3.5), pulls
    assert np.all(standard_error[[1, 2, 4, 5]] < 0.1 * TRUE_PARAMS[[1, 2, 4, 5]])  # centres and widths are pinned


def test_jacobian_agrees_with_central_differences():
    params = np.array([120.0, 40.0, 9.0, 70.0, 52.0, 16.0, -5.0, 61.5, 2.5])
    J = multi_gaussian_jacobian_cy(CHANNELS, params)
    difference = np.empty_like(J)
    for k in range(params.size):
        step = 1e-5 * abs(params[k])
        up, down = params.copy(), params.copy()
        up[k] += step
        down[k] -= step
        difference[:, k] = (multi_gaussian_cy(CHANNELS, up) - multi_gaussian_cy(CHANNELS, down)) / (up[k] - down[k])
    np.testing.assert_allclose(J, difference, rtol=1e-7, atol=1e-7 * np.abs(J).max())
