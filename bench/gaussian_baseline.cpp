// Plain C++ loops that the gaussian module is measured against: the multi-Gaussian model and its Jacobian over
// contiguous arrays, one call of the platform's exp per peak and sample, in both loop nestings. They compute
// what the module computes; only the model's samples-outer loop keeps its running sum in a register.

#include <cmath>
#include <cstddef>

using Index = std::ptrdiff_t;

extern "C" {

void model_peaks_outer(const double* x, Index m, const double* params, Index n_gauss, double* y) {
    for (Index i = 0; i < n_gauss; ++i) {
        const double A = params[3 * i], mu = params[3 * i + 1], variance = params[3 * i + 2];
        for (Index j = 0; j < m; ++j) {
            const double dx = x[j] - mu;
            y[j] = y[j] + A * std::exp(-0.5 * dx * dx / variance);
        }
    }
}

void model_samples_outer(const double* x, Index m, const double* params, Index n_gauss, double* y) {
    for (Index j = 0; j < m; ++j) {
        double sum = 0.0;
        for (Index i = 0; i < n_gauss; ++i) {
            const double dx = x[j] - params[3 * i + 1];
            sum = sum + params[3 * i] * std::exp(-0.5 * dx * dx / params[3 * i + 2]);
        }
        y[j] = sum;
    }
}

// J is row-major with n columns, one row per sample.
static inline void jacobian_entries(const double* peak, double x, double* J_row) {
    const double A = peak[0], mu = peak[1], variance = peak[2];
    const double dx = x - mu;
    const double e = std::exp(-0.5 * dx * dx / variance);
    J_row[0] = e;
    J_row[1] = A * e * dx / variance;
    J_row[2] = A * e * dx * dx / (2.0 * variance * variance);
}

void jacobian_peaks_outer(const double* x, Index m, const double* params, Index n, double* J) {
    for (Index i = 0; i < n / 3; ++i) {
        for (Index j = 0; j < m; ++j) jacobian_entries(params + 3 * i, x[j], J + j * n + 3 * i);
    }
}

void jacobian_samples_outer(const double* x, Index m, const double* params, Index n, double* J) {
    for (Index j = 0; j < m; ++j) {
        for (Index i = 0; i < n / 3; ++i) jacobian_entries(params + 3 * i, x[j], J + j * n + 3 * i);
    }
}

// Runs `loop` `repeats` times, so that a small problem is timed without the cost of a call from Python each
// time. The loop is called through a pointer, so no repetition can be merged with another.
void repeat(void (*loop)(const double*, Index, const double*, Index, double*), const double* x, Index m,
            const double* params, Index count, double* out, Index repeats) {
    for (Index r = 0; r < repeats; ++r) loop(x, m, params, count, out);
}

}  // extern "C"
