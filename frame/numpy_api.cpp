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

}  // namespace frame
