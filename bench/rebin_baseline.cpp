// The rebinning sweep as a plain C++ loop over contiguous arrays, the baseline that the module's sweep is
// measured against. It repeats its work, so that timing it from Python adds a single call per batch.

#include <cstddef>

namespace {

// Kept out of line so that every repetition does the whole sweep.
[[gnu::noinline]] void rebin(const double* energy_axis, const double* count_axis, std::ptrdiff_t old_n,
                             const double* new_energy_axis, std::ptrdiff_t new_n, double* new_counts) {
    for (std::ptrdiff_t m = 0; m < new_n; ++m) new_counts[m] = 0.0;  // a fresh result starts at zero
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

extern "C" void rebin_repeated(const double* energy_axis, const double* count_axis, std::ptrdiff_t old_n,
                               const double* new_energy_axis, std::ptrdiff_t new_n, double* new_counts,
                               std::ptrdiff_t repeats) {
    for (std::ptrdiff_t r = 0; r < repeats; ++r) {
        rebin(energy_axis, count_axis, old_n, new_energy_axis, new_n, new_counts);
    }
}
