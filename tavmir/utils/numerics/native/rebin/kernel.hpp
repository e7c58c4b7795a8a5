#pragma once
// Histogram rebinning: the count of each old bin, spread evenly over its width, handed to the new bins it
// overlaps in proportion to the overlap. Numerics only: no Python here.

#include <cstddef>
#include <optional>

namespace rebin {

// Sweeps old bins 0 .. bins-1 in ascending order onto new bins 0 .. new_n-1, adding into new_counts.
// energy_axis holds edges 0 .. bins and count_axis at least `bins` counts (the caller makes sure of both);
// new_energy_axis holds new_n + 1 edges. With `check_writes`, new_counts holds only `writable` elements: the
// sweep stops before the first write at or past that and returns the new bin it could not write.
//
// Every element is read from memory where the sequential algorithm reads it and written where it writes it,
// and no restrict is promised, so the result is the same when new_counts shares memory with an input. Each
// operation rounds on its own, in the order written: a fused multiply-add or a hoisted quotient would change
// the last bit.
template <bool check_writes, class Edges, class Counts, class NewEdges, class NewCounts>
std::optional<std::ptrdiff_t> sweep(const Edges& energy_axis, const Counts& count_axis, std::ptrdiff_t bins,
                                    const NewEdges& new_energy_axis, std::ptrdiff_t new_n,
                                    const NewCounts& new_counts, std::ptrdiff_t writable) {
    // The cursor only moves forward: over the whole sweep it passes each new bin at most once.
    std::ptrdiff_t c = 0;
    for (std::ptrdiff_t b = 0; b < bins; ++b) {
        const double old_left = energy_axis[b];
        const double old_right = energy_axis[b + 1];
        const double old_width = old_right - old_left;
        // Zero and negative widths drop the bin's count; a NaN width does not compare and goes on.
        if (old_width <= 0) continue;
        while (c < new_n && new_energy_axis[c + 1] <= old_left) ++c;
        for (std::ptrdiff_t m = c; m < new_n && new_energy_axis[m] < old_right; ++m) {
            const double new_left = new_energy_axis[m];
            const double new_right = new_energy_axis[m + 1];
            // Ties and NaNs pick the old edge.
            const double overlap = (new_right < old_right ? new_right : old_right) -
                                   (new_left > old_left ? new_left : old_left);
            if (overlap > 0) {
                if constexpr (check_writes) {
                    if (m >= writable) return m;
                }
                new_counts[m] = new_counts[m] + count_axis[b] * (overlap / old_width);
            }
        }
    }
    return std::nullopt;
}

}  // namespace rebin
