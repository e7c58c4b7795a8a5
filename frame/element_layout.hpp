#pragma once
// The one element kind every array parameter and result holds: an 8-byte IEEE-754 double in native
// (little-endian) byte order.

#include <Python.h>

namespace frame {

// How messages name the element: a read-only array view holds "const double", everything else "double".
inline constexpr const char* const_double = "const double";
inline constexpr const char* plain_double = "double";

// Checks an exported buffer for `dims` dimensions of that element: the number of dimensions, then the format
// string, then the item size, raising ValueError with the message of the first check that fails.
bool check_double_layout(const Py_buffer& buffer, int dims, const char* kind) noexcept;

}  // namespace frame
