#pragma once
// The interned names that calls use to reach NumPy, made by the start-up and kept for the life of the process.

#include <Python.h>

namespace frame {

struct Names {
    PyObject* numpy;          // "numpy", the module `np` is bound to
    PyObject* np;             // "np", the module-level name
    PyObject* zeros;
    PyObject* zeros_like;
    PyObject* asarray;
    PyObject* float64;
    PyObject* dtype_keyword;  // ("dtype",): keyword names of a vector call
};

extern constinit Names names;

bool create_names() noexcept;

}  // namespace frame
