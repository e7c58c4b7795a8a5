#pragma once
// View objects: Python objects that export an array view through the buffer protocol, so a view can be
// handed to NumPy without handing over the caller's object.

#include <Python.h>

#include "array_view.hpp"
#include "ref.hpp"

namespace frame {

// Creates the module's view object type, named "<module_name>._ArrayView"; done once, by the start-up.
bool create_view_object_type(const char* module_name) noexcept;

// A new view object exporting the elements of `view` (one dimension, its length, stride and format, write
// access exactly when the view has it). It keeps its own hold on the view's owner. The empty view made from
// None is represented by None. Null with an exception set on failure.
Ref make_view_object(const ArrayView& view) noexcept;

// The view inside `object` when it is a view object of this module, else null.
const ArrayView* view_of_view_object(PyObject* object) noexcept;

}  // namespace frame
