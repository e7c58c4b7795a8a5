#pragma once
// Array views: borrowed one-dimensional strided views of doubles, taken from arguments through the buffer
// protocol without copying or converting anything.

#include <Python.h>

#include "buffer_owner.hpp"
#include "element_layout.hpp"
#include "strided.hpp"

namespace frame {

enum class Access { read_only, writable };

class ArrayView {
public:
    ArrayView() noexcept = default;
    ArrayView(const ArrayView&) = delete;
    ArrayView& operator=(const ArrayView&) = delete;
    ~ArrayView() { release(); }

    // Makes this (empty) view a view of `object`: None gives the empty view; a view object of this module
    // that grants `access` is shared; anything else must export a one-dimensional buffer of doubles, asked
    // for with write access when `access` is writable. Returns false with an exception set on refusal.
    bool accept(PyObject* object, Access access) noexcept;
    // Makes this (empty) view a second view on the elements of `other`, sharing its owner.
    void share(const ArrayView& other) noexcept;
    // Lets go of the owner; the view is empty afterwards. Keeps a pending exception intact.
    void release() noexcept;

    bool is_none() const noexcept { return owner_ == nullptr; }
    Py_ssize_t length() const noexcept { return length_; }
    Py_ssize_t stride() const noexcept { return stride_; }
    bool writable() const noexcept { return writable_; }
    const char* format() const noexcept { return owner_ != nullptr ? owner_->format() : nullptr; }
    char* data() const noexcept { return data_; }

    Strided<const double> read() const noexcept { return {data_, stride_}; }
    Strided<double> write() const noexcept { return {data_, stride_}; }

    // The address of element `index`: a negative index counts once from the end; anything still outside the
    // view raises IndexError and gives null.
    double* checked(Py_ssize_t index) const noexcept;

private:
    char* data_ = nullptr;
    Py_ssize_t length_ = 0;
    Py_ssize_t stride_ = sizeof(double);
    BufferOwner* owner_ = nullptr;
    bool writable_ = false;
};

// A view taken with a fixed access, as a parameter kind of a public function.
template <Access access>
class AcceptedView : public ArrayView {
public:
    // Array views have no check ahead of acceptance.
    static bool check_argument(PyObject*, const char*) noexcept { return true; }
    bool accept(PyObject* object) noexcept { return ArrayView::accept(object, access); }
};

using ReadOnlyView = AcceptedView<Access::read_only>;
using WritableView = AcceptedView<Access::writable>;

}  // namespace frame
