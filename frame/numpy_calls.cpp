#include "numpy_calls.hpp"

#include "global_lookup.hpp"
#include "names.hpp"
#include "view_object.hpp"

namespace frame {
namespace {

// function(argument, dtype=np.float64), with np.float64 fetched just before the call.
Ref call_with_float64(const Ref& function, const Ref& argument) {
    Ref float64 = numpy_attribute(names.float64);
    if (!float64) return {};
    PyObject* args[] = {argument.get(), float64.get()};
    return Ref::steal(PyObject_Vectorcall(function.get(), args, 1, names.dtype_keyword));
}

}  // namespace

Ref numpy_attribute(PyObject* name) noexcept {
    Ref np = lookup_global(names.np);
    if (!np) return {};
    // The attributes of a plain module, for names its type does not define (none of the names here), are the
    // entries of its namespace; reading them there skips the generic lookup's search of the type first, a large
    // part of a small call. Anything else, and a name the namespace lacks (a module __getattr__, the
    // AttributeError), takes the generic lookup.
    if (PyModule_CheckExact(np.get())) {
        PyObject* value = nullptr;
        if (PyDict_GetItemRef(PyModule_GetDict(np.get()), name, &value) != 0) return Ref::steal(value);
    }
    return Ref::steal(PyObject_GetAttr(np.get(), name));
}

Ref zeros(Py_ssize_t length) noexcept {
    Ref function = numpy_attribute(names.zeros);
    if (!function) return {};
    Ref size = Ref::steal(PyLong_FromSsize_t(length));
    if (!size) return {};
    return call_with_float64(function, size);
}

Ref zeros(Py_ssize_t rows, Py_ssize_t columns) noexcept {
    Ref function = numpy_attribute(names.zeros);
    if (!function) return {};
    Ref shape = Ref::steal(Py_BuildValue("(nn)", rows, columns));
    if (!shape) return {};
    return Ref::steal(PyObject_CallOneArg(function.get(), shape.get()));
}

Ref zeros_like(const ArrayView& view) noexcept {
    Ref function = numpy_attribute(names.zeros_like);
    if (!function) return {};
    Ref view_object = make_view_object(view);
    if (!view_object) return {};
    return call_with_float64(function, view_object);
}

Ref asarray(const ArrayView& view) noexcept {
    Ref function = numpy_attribute(names.asarray);
    if (!function) return {};
    Ref view_object = make_view_object(view);
    if (!view_object) return {};
    return Ref::steal(PyObject_CallOneArg(function.get(), view_object.get()));
}

}  // namespace frame
