"""The multi-Gaussian model and its Jacobian in plain Python, in the exact operation order of the native
module, for bit-for-bit comparisons. Python floats are IEEE-754 doubles and every operation below rounds on
its own; only division by zero and overflow of exp, where Python raises, are spelled out."""

import math


def divide(numerator, denominator):
    """numerator / denominator as IEEE-754 division, also for a zero denominator."""
    if denominator != 0.0:
        return numerator / denominator
    if math.isnan(numerator):
        return numerator
    if numerator == 0.0:
        return 0.0 * math.inf  # the processor's own NaN for 0/0
    return math.copysign(math.inf, numerator) * math.copysign(1.0, denominator)


def exp(value):
    try:
        return math.exp(value)
    except OverflowError:
        return math.inf


def gaussian_factor(dx, variance):
    return exp(divide(-0.5 * dx * dx, variance))


def peaks(params):
    """(A, mu, variance) for every whole triple; trailing values take no part."""
    params = [float(value) for value in params]
    return [tuple(params[k : k + 3]) for k in range(0, len(params) - 2, 3)]


def model(x, params):
    y = [0.0] * len(x)
    for A, mu, variance in peaks(params):
        for j, x_j in enumerate(x):
            y[j] = y[j] + A * gaussian_factor(float(x_j) - mu, variance)
    return y


def jacobian(x, params):
    J = [[0.0] * len(params) for _ in range(len(x))]
    for i, (A, mu, variance) in enumerate(peaks(params)):
        for j, x_j in enumerate(x):
            dx = float(x_j) - mu
            e = gaussian_factor(dx, variance)
            J[j][3 * i] = e
            J[j][3 * i + 1] = divide(A * e * dx, variance)
            J[j][3 * i + 2] = divide(A * e * dx * dx, 2.0 * variance * variance)
    return J
