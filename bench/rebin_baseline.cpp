// The rebinning sweep as a plain C++ loop over contiguous arrays, the baseline that the module's sweep is
// measured against. It times itself, so that calling it from Python adds nothing to what is measured.

#include <chrono>
#include <cstddef>

namespace {

// Kept out of line so that every timed call does the whole sweep.
[[gnu::noinline]] void rebin(const double* energy_axis, const double* count_axis, std::ptrdiff_t old_n,
           const double* new_energy_axis, std::ptrdiff_t new_n, double* new_counts) {
    for (std::ptrdiff_t m = 0; m < new_n; ++m) new_counts[m] = 0.0;
    std::ptrdiff_t c = 0;
    for (std::ptrdiff_t b = 0; b < old_n; ++b) {
        const double old_left = energy_axis[b];
        const double old_right = energy_axis[b + 1];
        const double old_width = old_right - old_left;
        if (old_width <= 0) continue;
        while (c < new_n && new_energy_axis[c + 1] <= old_left) ++c;
        for (std::ptrdiff_t m = c; m < new_n && new_energy_axis[m] < old_right; ++m) {
            const double new_left = new_energy_axis[m];
            const double new_right = new_energy_axis[m + 1];
            const double overlap = (new_right < old_right ? new_right : old_right) -
                                   (new_left > old_left ? new_left : old_left);
            if (overlap > 0) new_counts[m] = new_counts[m] + count_axis[b] * (overlap / old_width);
        }
    }
}

}  // namespace

// Runs the sweep `calls` times in a row (zero-filling new_counts first each time, as a fresh result starts at
// zero), `repeats` times over, and returns the time of one sweep in the fastest round, in nanoseconds.
extern "C" double rebin_baseline_ns(const double* energy_axis, const double* count_axis, std::ptrdiff_t old_n,
                                    const double* new_energy_axis, std::ptrdiff_t new_n, double* new_counts,
                                    int calls, int repeats) {
    using clock = std::chrono::steady_clock;
    double best = 0.0;
    for (int r = 0; r < repeats; ++r) {
        const auto start = clock::now();
        for (int i = 0; i < calls; ++i) rebin(energy_axis, count_axis, old_n, new_energy_axis, new_n, new_counts);
        const double ns = std::chrono::duration<double, std::nano>(clock::now() - start).count() / calls;
        if (r == 0 || ns < best) best = ns;
    }
    return best;
}
