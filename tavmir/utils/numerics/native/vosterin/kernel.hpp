#pragma once
// The second difference of a spectrum and its standard deviation. Numerics only: no Python here.

#include <cmath>
#include <cstddef>

namespace vosterin {

// The operation order is part of the result: 2 y[i] is formed as y[i] + y[i] and subtracted from y[i-1]
// before y[i+1] is added; 4 y[i] is added to y[i-1] before y[i+1]. Each operation rounds on its own.
template <class Y>
inline double second_difference_at(const Y& y, std::ptrdiff_t i) {
    return (y[i - 1] - (y[i] + y[i])) + y[i + 1];
}

// The standard deviation of the second difference when the channels are independent counts. A negative or
// NaN sum gives NaN, quietly.
template <class Y>
inline double deviation_at(const Y& y, std::ptrdiff_t i) {
    return std::sqrt((y[i - 1] + 4.0 * y[i]) + y[i + 1]);
}

// S[i] and F[i] for i in [first, last), in increasing i. S[i] is stored before F[i] reads y, so the result is
// the same even if S shares memory with y.
template <class Y, class Out>
inline void second_difference(const Y& y, const Out& S, const Out& F, std::ptrdiff_t first, std::ptrdiff_t last) {
    for (std::ptrdiff_t i = first; i < last; ++i) {
        S[i] = second_difference_at(y, i);
        F[i] = deviation_at(y, i);
    }
}

// The same over contiguous arrays that share no memory, which lets the compiler use vector instructions: a
// copy for AVX2 where the processor has it, picked at load time. Vector square roots and additions round each
// element exactly as the scalar ones do, and contraction stays off, so every processor gives the same bits.
__attribute__((target_clones("avx2", "default"))) inline void second_difference_contiguous(const double* __restrict y, double* __restrict S, double* __restrict F,
                                         std::ptrdiff_t first, std::ptrdiff_t last) {
    for (std::ptrdiff_t i = first; i < last; ++i) {
        S[i] = second_difference_at(y, i);
        F[i] = deviation_at(y, i);
    }
}

}  // namespace vosterin
