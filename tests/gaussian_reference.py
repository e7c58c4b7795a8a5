"""The multi-Gaussian model and its Jacobian in plain Python, in the exact operation order of the native
module, for bit-for-bit comparisons. Every operation is one IEEE-754 operation on Doubles, rounded on its own."""

import numpy as np

from doubles import Double, exp


def gaussian_factor(dx, variance):
    return exp(-0.5 * dx * dx / variance)


def peaks(params):
    """(A, mu, variance) for every whole triple; trailing values take no part. None stands for no values."""
    params = [Double(value) for value in ([] if params is None else params)]
    return [tuple(params[k : k + 3]) for k in range(0, len(params) - 2, 3)]


def samples(x):
    return [Double(value) for value in ([] if x is None else x)]


def model(x, params):
    """y as a list of Doubles."""
    x = samples(x)
    y = [Double(0.0)] * len(x)
    for A, mu, variance in peaks(params):
        for j, x_j in enumerate(x):
            y[j] = y[j] + A * gaussian_factor(x_j - mu, variance)
    return y


def jacobian(x, params):
    """J as an array of Doubles, one row per sample and one column per value of params."""
    x = samples(x)
    J = np.full((len(x), 0 if params is None else len(params)), Double(0.0), dtype=object)
    for i, (A, mu, variance) in enumerate(peaks(params)):
        for j, x_j in enumerate(x):
            dx = x_j - mu
            e = gaussian_factor(dx, variance)
            J[j, 3 * i] = e
            J[j, 3 * i + 1] = A * e * dx / variance
            J[j, 3 * i + 2] = A * e * dx * dx / (2.0 * variance * variance)
    return J
