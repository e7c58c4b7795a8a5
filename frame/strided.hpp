#pragma once
// Element access through a byte stride: what kernels see of views and buffers. No Python here.

#include <cstddef>
#include <cstdint>

namespace frame {

// A double at any address. An exporter's data address and strides need not be multiples of 8 (the field of a
// packed record array, bytes viewed from an odd offset), and reaching such an element through a double* is
// undefined behaviour; through this type the compiler assumes no alignment. On x86 the loads and stores are
// the same instructions. (The alias keeps its alignment only where it is named directly: passed through a
// template argument or a deduced type, it would be plain double again.)
using unaligned_double = double __attribute__((aligned(1)));

// Element i lies at `base + i * stride` bytes; the stride may be negative, zero or any number of bytes, so
// non-contiguous, reversed and misaligned arrays are read and written in place. Strided<const double> reads,
// Strided<double> reads and writes.
template <class T>
struct Strided;

template <>
struct Strided<const double> {
    const char* base;
    std::ptrdiff_t stride;

    const unaligned_double& operator[](std::ptrdiff_t i) const noexcept {
        return *reinterpret_cast<const unaligned_double*>(base + i * stride);
    }
};

template <>
struct Strided<double> {
    char* base;
    std::ptrdiff_t stride;

    unaligned_double& operator[](std::ptrdiff_t i) const noexcept {
        return *reinterpret_cast<unaligned_double*>(base + i * stride);
    }
};

// Whether the elements at `data`, `stride` bytes apart, make a plain array of doubles: adjacent, and at an
// address a double* may hold.
inline bool is_double_array(const void* data, std::ptrdiff_t stride) noexcept {
    return stride == sizeof(double) && reinterpret_cast<std::uintptr_t>(data) % alignof(double) == 0;
}

}  // namespace frame
