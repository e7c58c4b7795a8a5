#pragma once
// Element access through a byte stride: what kernels see of views and buffers. No Python here.

#include <cstddef>
#include <type_traits>

namespace frame {

// Element i lies at `base + i * stride` bytes; the stride may be negative, zero or any multiple of the
// element size, so non-contiguous and reversed arrays are read and written in place.
template <class T>
struct Strided {
    using Byte = std::conditional_t<std::is_const_v<T>, const char, char>;
    Byte* base;
    std::ptrdiff_t stride;

    T& operator[](std::ptrdiff_t i) const noexcept { return *reinterpret_cast<T*>(base + i * stride); }
};

}  // namespace frame
