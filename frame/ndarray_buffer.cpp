#include "ndarray_buffer.hpp"

#include "element_layout.hpp"
#include "numpy_api.hpp"
#include "pending_error.hpp"

namespace frame {
namespace {

bool is_ndarray_or_none(PyObject* object) {
    return object == Py_None || PyObject_TypeCheck(object, ndarray_type());
}

}  // namespace

bool NdarrayBuffer::take(PyObject* object, int dims, Access access) noexcept {
    if (object == Py_None) return true;
    // An array whose buffer would be accepted is read in place: the buffer would give exactly its fields, and
    // asking NumPy for the buffer of a new array makes it build a description that costs more than the rest of a
    // small call. Anything else goes through the buffer request, which raises the exact refusal.
    ArrayFields fields;
    if (double_array_fields(object, dims, access == Access::writable, fields)) {
        array_ = Ref::borrow(object);
        data_ = fields.data;
        for (int d = 0; d < dims; ++d) {
            extents_[d] = fields.extents[d];
            strides_[d] = fields.strides[d];
        }
        return true;
    }
    const int flags = PyBUF_STRIDES | PyBUF_FORMAT | (access == Access::writable ? PyBUF_WRITABLE : 0);
    if (PyObject_GetBuffer(object, &buffer_, flags) < 0) return false;
    held_ = true;
    if (!check_double_layout(buffer_, dims, plain_double)) {
        release();
        return false;
    }
    data_ = static_cast<char*>(buffer_.buf);
    // An exporter that leaves out shape or strides describes C-contiguous memory.
    Py_ssize_t step = buffer_.itemsize;
    for (int d = dims - 1; d >= 0; --d) {
        extents_[d] = buffer_.shape != nullptr ? buffer_.shape[d] : buffer_.len / buffer_.itemsize;
        strides_[d] = buffer_.strides != nullptr ? buffer_.strides[d] : step;
        step *= extents_[d];
    }
    return true;
}

bool NdarrayBuffer::take_result(PyObject* object, int dims) noexcept {
    if (!is_ndarray_or_none(object)) {
        PyErr_Format(PyExc_TypeError, "%.1sCannot convert %.200s to %.200s", "", Py_TYPE(object)->tp_name,
                     ndarray_type()->tp_name);
        return false;
    }
    return take(object, dims, Access::writable);
}

void NdarrayBuffer::release() noexcept {
    if (held_) {
        PendingErrorGuard keep;
        PyBuffer_Release(&buffer_);
        held_ = false;
    }
    array_ = Ref();  // dropping a reference leaves a pending exception as it is
    data_ = nullptr;
    for (int d = 0; d < max_dims; ++d) extents_[d] = strides_[d] = 0;
}

bool NdarrayArgument::check_argument(PyObject* object, const char* parameter) noexcept {
    if (is_ndarray_or_none(object)) return true;
    PyErr_Format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)", parameter,
                 ndarray_type()->tp_name, Py_TYPE(object)->tp_name);
    return false;
}

}  // namespace frame
