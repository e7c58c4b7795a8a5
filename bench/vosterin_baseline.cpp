// The plain loop a C++ programmer would write for the second difference and its deviation over contiguous
// arrays. Each entry point repeats its work, so that timing it from Python adds a single call per batch.

#include <cmath>
#include <cstdlib>

namespace {

// Kept out of line so that every repetition does the whole loop.
[[gnu::noinline]] void second_difference(const double* y, double* S, double* F, long n) {
    for (long i = 1; i < n - 1; ++i) {
        S[i] = (y[i - 1] - (y[i] + y[i])) + y[i + 1];
        F[i] = std::sqrt((y[i - 1] + 4.0 * y[i]) + y[i + 1]);
    }
}

}  // namespace

extern "C" {

// The loop alone, into results that already exist.
void loop_repeated(const double* y, double* S, double* F, long n, long repeats) {
    for (long r = 0; r < repeats; ++r) second_difference(y, S, F, n);
}

// The loop into zero-filled results allocated for each call, as the module's are.
void loop_with_fresh_results_repeated(const double* y, long n, long repeats) {
    for (long r = 0; r < repeats; ++r) {
        auto* S = static_cast<double*>(std::calloc(n, sizeof(double)));
        auto* F = static_cast<double*>(std::calloc(n, sizeof(double)));
        second_difference(y, S, F, n);
        std::free(S);
        std::free(F);
    }
}
}
