#pragma once
// ndarray buffers: the buffers a kernel takes from its ndarray arguments (read-only, one dimension) and from
// the result arrays it fills (writable, one or two dimensions).

#include <Python.h>

#include "array_view.hpp"
#include "ref.hpp"
#include "strided.hpp"

namespace frame {

class NdarrayBuffer {
public:
    static constexpr int max_dims = 2;

    // Not defaulted: value-initialization (a std::tuple of parameters does it) would then clear buffer_ first.
    NdarrayBuffer() noexcept {}
    NdarrayBuffer(const NdarrayBuffer&) = delete;
    NdarrayBuffer& operator=(const NdarrayBuffer&) = delete;
    ~NdarrayBuffer() { release(); }

    // Takes the buffer of `object` with `dims` dimensions of doubles; None gives the empty buffer (every
    // extent and stride 0). Returns false with an exception set on refusal.
    bool take(PyObject* object, int dims, Access access) noexcept;
    // For an array the kernel made: the ndarray result check, then the writable buffer.
    bool take_result(PyObject* object, int dims) noexcept;
    // Gives the buffer back; keeps a pending exception intact.
    void release() noexcept;

    Py_ssize_t extent(int dim) const noexcept { return extents_[dim]; }
    Py_ssize_t stride(int dim) const noexcept { return strides_[dim]; }
    char* data() const noexcept { return data_; }

    Strided<const double> read() const noexcept { return {data_, strides_[0]}; }
    Strided<double> write() const noexcept { return {data_, strides_[0]}; }

private:
    Py_buffer buffer_;  // filled by a buffer request and read only while held_; not cleared, to keep calls cheap
    bool held_ = false;
    Ref array_;  // an array read in place instead of through its buffer, kept alive as a buffer would keep it
    char* data_ = nullptr;
    Py_ssize_t extents_[max_dims] = {};
    Py_ssize_t strides_[max_dims] = {};
};

// The parameter kind of an ndarray argument: None or an ndarray (subclasses included), checked before any
// argument is accepted, then taken as a read-only one-dimensional buffer.
class NdarrayArgument : public NdarrayBuffer {
public:
    static bool check_argument(PyObject* object, const char* parameter) noexcept;
    bool accept(PyObject* object) noexcept { return take(object, 1, Access::read_only); }
};

}  // namespace frame
