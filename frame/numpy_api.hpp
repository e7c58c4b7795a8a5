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

// Where an array's elements lie: what NumPy's own buffer of the array gives.
struct ArrayFields {
    char* data;
    const Py_ssize_t* extents;
    const Py_ssize_t* strides;
};

// The fields of `object` when it is an ndarray (not a subclass, which may export its own buffer) whose buffer,
// asked for with strides and format, would be accepted as `dims` dimensions of native-order doubles; with
// `writable`, only from an array that owns writable data, since NumPy may warn when a view is written through
// its buffer. Returns false otherwise, raising nothing.
bool double_array_fields(PyObject* object, int dims, bool writable, ArrayFields& fields) noexcept;

}  // namespace frame
