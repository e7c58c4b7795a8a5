#pragma once
// Checked element access.

#include <Python.h>

namespace frame {

// Turns `index` into a position within `length` elements: a negative index counts once from the end. Anything
// still outside raises IndexError and returns false.
inline bool check_index(Py_ssize_t& index, Py_ssize_t length) noexcept {
    if (index < 0) index += length;
    if (index >= 0 && index < length) return true;
    PyErr_Format(PyExc_IndexError, "Out of bounds on buffer access (axis %d)", 0);
    return false;
}

}  // namespace frame
