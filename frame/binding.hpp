#pragma once
// Binding a vector call to a function's named parameters.

#include <Python.h>

namespace frame {

// The parameters of a public function, as binding needs them.
struct Parameters {
    const char* function_name;
    PyObject* const* names;  // interned
    Py_ssize_t count;
};

// Binds `nargs` positional arguments followed by the values of the keyword names in `kwnames` (or null) to
// `parameters`, every one of which is required. Fills `values` with borrowed references, one per parameter,
// or raises TypeError and returns false. Allocates nothing; keyword names are matched by identity first.
bool bind(const Parameters& parameters, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          PyObject** values) noexcept;

}  // namespace frame
