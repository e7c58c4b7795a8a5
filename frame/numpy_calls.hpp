#pragma once
// Results are made by NumPy's Python-level functions, reached through the module-level name `np` at each
// use (so rebinding `np` changes what the next call uses). Each helper makes its lookups in a fixed order.
// All return null with an exception set on failure.

#include <Python.h>

#include "array_view.hpp"
#include "ref.hpp"

namespace frame {

// Looks up `np`, fetches its attribute `name` and drops `np`.
Ref numpy_attribute(PyObject* name) noexcept;

// np.zeros(length, dtype=np.float64)
Ref zeros(Py_ssize_t length) noexcept;
// np.zeros((rows, columns)): NumPy's default element type, float64
Ref zeros(Py_ssize_t rows, Py_ssize_t columns) noexcept;
// np.zeros_like(<view object of view>, dtype=np.float64): NumPy sees a view object, not the caller's object,
// so a subclass argument still gives a plain ndarray.
Ref zeros_like(const ArrayView& view) noexcept;
// np.asarray(<view object of view>): an ndarray on the view's memory, nothing copied.
Ref asarray(const ArrayView& view) noexcept;

}  // namespace frame
