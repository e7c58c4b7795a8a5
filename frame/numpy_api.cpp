// The only translation unit that includes NumPy's headers: it owns the C-API table.
#define NPY_TARGET_VERSION NPY_1_25_API_VERSION
#define NPY_NO_DEPRECATED_API NPY_1_25_API_VERSION
#include "numpy_api.hpp"

#include <numpy/arrayobject.h>

namespace frame {
namespace {

PyTypeObject* ndarray = nullptr;

}  // namespace

bool bind_numpy_api() noexcept {
    if (_import_array() < 0) {
        PyErr_Clear();
        PyErr_SetString(PyExc_ImportError, "numpy.core.multiarray failed to import");
        return false;
    }
    ndarray = &PyArray_Type;
    return true;
}

PyTypeObject* ndarray_type() noexcept { return ndarray; }

bool double_array_fields(PyObject* object, int dims, bool writable, ArrayFields& fields) noexcept {
    if (Py_TYPE(object) != ndarray) return false;
    auto* array = reinterpret_cast<PyArrayObject*>(object);
    if (PyArray_NDIM(array) != dims || PyArray_TYPE(array) != NPY_DOUBLE || !PyArray_ISNOTSWAPPED(array)) return false;
    if (writable && !PyArray_CHKFLAGS(array, NPY_ARRAY_OWNDATA | NPY_ARRAY_WRITEABLE)) return false;
    fields = {PyArray_BYTES(array), PyArray_DIMS(array), PyArray_STRIDES(array)};
    return true;
}

}  // namespace frame
