#pragma once
// A sum of Gaussian peaks at sample positions, and its derivatives with respect to every peak parameter.
// Numerics only: no Python here.
//
// The parameter vector holds three values per peak: the amplitude A (the peak's height at its centre), the
// centre mu and the variance. Every operation rounds on its own and in the order written, so results agree
// bit for bit with any implementation that keeps the same order and the same exp.

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace gaussian {

inline constexpr std::ptrdiff_t values_per_peak = 3;

struct Peak {
    double A, mu, variance;
};

template <class Params>
inline Peak peak_at(const Params& params, std::ptrdiff_t i) {
    return {params[values_per_peak * i], params[values_per_peak * i + 1], params[values_per_peak * i + 2]};
}

// exp(-0.5 dx dx / variance), evaluated left to right: -0.5 times dx, times dx, divided by variance. The model
// and the Jacobian both take their factor from here, so that A times the Jacobian's A column, summed over the
// peaks in peak order, is the model bit for bit. A zero variance gives exp(-inf) = 0 or exp(NaN) = NaN, quietly.
inline double gaussian_factor(double dx, double variance) {
    return std::exp(-0.5 * dx * dx / variance);
}

// y[j] = y[j] + A exp(...) peak by peak and, within a peak, sample by sample: each y[j] receives the peaks'
// contributions one at a time in peak order, starting from the value it holds (0.0 in a fresh result).
template <class X, class Params, class Y>
inline void model(const X& x, std::ptrdiff_t m, const Params& params, std::ptrdiff_t n_gauss, const Y& y) {
    for (std::ptrdiff_t i = 0; i < n_gauss; ++i) {
        const Peak peak = peak_at(params, i);
        for (std::ptrdiff_t j = 0; j < m; ++j) {
            const double dx = x[j] - peak.mu;
            y[j] = y[j] + peak.A * gaussian_factor(dx, peak.variance);
        }
    }
}

// The three derivatives of one peak's contribution A e at one sample, e being the Gaussian factor.
struct PeakDerivatives {
    double by_A;         // e
    double by_mu;        // A e dx / variance
    double by_variance;  // A e dx dx / (2 variance variance)
};

// Both derivatives by mu and by variance start from the product (A e) dx; the one by variance multiplies it
// by dx once more and divides by (2.0 variance) variance.
inline PeakDerivatives peak_derivatives(const Peak& peak, double x) {
    const double dx = x - peak.mu;
    const double e = gaussian_factor(dx, peak.variance);
    const double A_e_dx = peak.A * e * dx;
    return {e, A_e_dx / peak.variance, A_e_dx * dx / (2.0 * peak.variance * peak.variance)};
}

// The Jacobian is filled in blocks of this many rows.
inline constexpr std::ptrdiff_t rows_per_block = 64;

// J(j, 3i), J(j, 3i + 1), J(j, 3i + 2) for every sample j and peak i; the columns of trailing values that make
// no whole peak are left as they are. Each entry is written once, so the order of the loops changes no value.
// Block by block of rows, peak by peak within a block: the inner loop runs over many samples, while the
// block's rows stay in the cache for all peaks and a wide matrix is written in one sweep through memory.
template <class X, class Params, class Matrix>
inline void jacobian(const X& x, std::ptrdiff_t m, const Params& params, std::ptrdiff_t n_gauss, const Matrix& J) {
    for (std::ptrdiff_t first = 0; first < m; first += rows_per_block) {
        const std::ptrdiff_t last = std::min(first + rows_per_block, m);
        for (std::ptrdiff_t i = 0; i < n_gauss; ++i) {
            const Peak peak = peak_at(params, i);
            const std::ptrdiff_t k = values_per_peak * i;
            for (std::ptrdiff_t j = first; j < last; ++j) {
                const PeakDerivatives d = peak_derivatives(peak, x[j]);
                J(j, k) = d.by_A;
                J(j, k + 1) = d.by_mu;
                J(j, k + 2) = d.by_variance;
            }
        }
    }
}

}  // namespace gaussian
