#include "view_object.hpp"

#include <new>

namespace frame {
namespace {

struct ViewObject {
    PyObject_HEAD
    ArrayView view;
    Py_ssize_t shape[1];
    Py_ssize_t strides[1];
};

// The module's view object type; made once per process by the start-up and kept.
PyTypeObject* view_object_type = nullptr;

bool is_contiguous(const ArrayView& view) {
    return view.length() <= 1 || view.stride() == static_cast<Py_ssize_t>(sizeof(double));
}

int get_buffer(PyObject* self, Py_buffer* buffer, int flags) {
    auto* object = reinterpret_cast<ViewObject*>(self);
    const ArrayView& view = object->view;
    if ((flags & PyBUF_WRITABLE) == PyBUF_WRITABLE && !view.writable()) {
        PyErr_SetString(PyExc_BufferError, "view is not writable");
        return -1;
    }
    // A consumer that does not take strides, or asks for contiguous memory, gets the view only where its
    // elements are adjacent.
    const bool wants_strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES;
    const bool wants_contiguous = (flags & (PyBUF_C_CONTIGUOUS | PyBUF_F_CONTIGUOUS | PyBUF_ANY_CONTIGUOUS) &
                                   ~PyBUF_STRIDES) != 0;
    if ((!wants_strides || wants_contiguous) && !is_contiguous(view)) {
        PyErr_SetString(PyExc_BufferError, "view is not contiguous");
        return -1;
    }
    buffer->buf = view.data();
    buffer->obj = Py_NewRef(self);
    buffer->len = view.length() * static_cast<Py_ssize_t>(sizeof(double));
    buffer->itemsize = sizeof(double);
    buffer->readonly = view.writable() ? 0 : 1;
    buffer->ndim = 1;
    buffer->format = (flags & PyBUF_FORMAT) == PyBUF_FORMAT ? const_cast<char*>(view.format()) : nullptr;
    buffer->shape = (flags & PyBUF_ND) == PyBUF_ND ? object->shape : nullptr;
    buffer->strides = wants_strides ? object->strides : nullptr;
    buffer->suboffsets = nullptr;
    buffer->internal = nullptr;
    return 0;
}

void deallocate(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<ViewObject*>(self)->view.~ArrayView();
    type->tp_free(self);
    Py_DECREF(type);
}

PyType_Slot view_object_slots[] = {
    {Py_bf_getbuffer, reinterpret_cast<void*>(get_buffer)},
    {Py_tp_dealloc, reinterpret_cast<void*>(deallocate)},
    {0, nullptr},
};

}  // namespace

bool create_view_object_type(const char* module_name) noexcept {
    if (view_object_type != nullptr) return true;
    // The type copies its name, so a temporary string will do.
    Ref name = Ref::steal(PyUnicode_FromFormat("%s._ArrayView", module_name));
    if (!name) return false;
    const char* text = PyUnicode_AsUTF8(name.get());
    if (text == nullptr) return false;
    PyType_Spec spec = {
        text,
        sizeof(ViewObject),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
        view_object_slots,
    };
    view_object_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
    return view_object_type != nullptr;
}

Ref make_view_object(const ArrayView& view) noexcept {
    if (view.is_none()) return Ref::borrow(Py_None);
    auto* object = PyObject_New(ViewObject, view_object_type);
    if (object == nullptr) return {};
    new (&object->view) ArrayView();
    object->view.share(view);
    object->shape[0] = view.length();
    object->strides[0] = view.stride();
    return Ref::steal(reinterpret_cast<PyObject*>(object));
}

const ArrayView* view_of_view_object(PyObject* object) noexcept {
    if (view_object_type == nullptr || !Py_IS_TYPE(object, view_object_type)) return nullptr;
    return &reinterpret_cast<ViewObject*>(object)->view;
}

}  // namespace frame
