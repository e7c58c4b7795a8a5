"""The peak search in plain Python, one IEEE operation at a time in the order the module promises, for
bit-for-bit comparisons with the compiled module."""

from doubles import Double, sqrt


def peak_search(y):
    """S and F as lists of Doubles; None stands for an empty spectrum."""
    y = [Double(value) for value in ([] if y is None else y)]
    n = len(y)
    S, F = [Double(0.0)] * n, [Double(0.0)] * n
    for i in range(1, n - 1):
        S[i] = (y[i - 1] - (y[i] + y[i])) + y[i + 1]
        F[i] = sqrt((y[i - 1] + 4.0 * y[i]) + y[i + 1])
    return S, F
