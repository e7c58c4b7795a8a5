#pragma once
// Binding NumPy's C API, for the modules that check arguments and results against NumPy's ndarray type.

#include <Python.h>

namespace frame {

// Binds NumPy's C API through NumPy's own import procedure (API level of NumPy 1.25 or newer, ABI no newer than
// the one built against, little-endian) and keeps the ndarray type. Any failure becomes an ImportError that
// begins "numpy.core.multiarray failed to import", replacing the error of the failing check.
bool bind_numpy_api() noexcept;

// NumPy's ndarray type; valid once the C API is bound.
PyTypeObject* ndarray_type() noexcept;

}  // namespace frame
