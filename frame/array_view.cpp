#include "array_view.hpp"

#include "checked_index.hpp"
#include "pending_error.hpp"
#include "view_object.hpp"

namespace frame {
namespace {

// Exported buffers are given back on every refusal; this keeps that on each early return.
class TakenBuffer {
public:
    explicit TakenBuffer(Py_buffer& buffer) noexcept : buffer_(&buffer) {}
    ~TakenBuffer() {
        if (buffer_ == nullptr) return;
        PendingErrorGuard keep;
        PyBuffer_Release(buffer_);
    }
    TakenBuffer(const TakenBuffer&) = delete;
    TakenBuffer& operator=(const TakenBuffer&) = delete;
    void hand_over() noexcept { buffer_ = nullptr; }

private:
    Py_buffer* buffer_;
};

Py_ssize_t length_of(const Py_buffer& buffer) {
    return buffer.shape != nullptr ? buffer.shape[0] : buffer.len / buffer.itemsize;
}

// Refuses buffers whose elements are reached through suboffsets (indirect arrays): views read elements at
// data + index * stride only.
bool check_direct_access(const Py_buffer& buffer) {
    if (buffer.len == 0 || buffer.suboffsets == nullptr) return true;
    if (buffer.strides == nullptr && length_of(buffer) >= 2) {
        PyErr_SetString(PyExc_ValueError, "Buffer exposes suboffsets but no strides");
        return false;
    }
    if (buffer.suboffsets[0] >= 0) {
        PyErr_Format(PyExc_ValueError, "Buffer not compatible with direct access in dimension %d.", 0);
        return false;
    }
    return true;
}

}  // namespace

bool ArrayView::accept(PyObject* object, Access access) noexcept {
    if (object == Py_None) return true;
    if (const ArrayView* exported = view_of_view_object(object);
        exported != nullptr && (access == Access::read_only || exported->writable())) {
        share(*exported);
        return true;
    }
    const bool write = access == Access::writable;
    Py_buffer buffer;
    if (PyObject_GetBuffer(object, &buffer, PyBUF_STRIDES | PyBUF_FORMAT | (write ? PyBUF_WRITABLE : 0)) < 0) {
        return false;
    }
    TakenBuffer taken(buffer);
    if (!check_double_layout(buffer, 1, write ? plain_double : const_double) || !check_direct_access(buffer)) {
        return false;
    }
    taken.hand_over();
    BufferOwner* owner = BufferOwner::adopt(buffer);
    if (owner == nullptr) return false;
    data_ = static_cast<char*>(buffer.buf);
    length_ = length_of(buffer);
    stride_ = buffer.strides != nullptr ? buffer.strides[0] : static_cast<Py_ssize_t>(sizeof(double));
    owner_ = owner;
    writable_ = write;
    return true;
}

void ArrayView::share(const ArrayView& other) noexcept {
    data_ = other.data_;
    length_ = other.length_;
    stride_ = other.stride_;
    writable_ = other.writable_;
    owner_ = other.owner_;
    if (owner_ != nullptr) owner_->hold();
}

void ArrayView::release() noexcept {
    if (owner_ != nullptr) {
        owner_->let_go();
        owner_ = nullptr;
    }
    data_ = nullptr;
    length_ = 0;
}

double* ArrayView::checked(Py_ssize_t index) const noexcept {
    return check_index(index, length_) ? &write()[index] : nullptr;
}

}  // namespace frame
