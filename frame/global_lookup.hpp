#pragma once
// Module-level name lookup.

#include <Python.h>

#include "ref.hpp"

namespace frame {

// The value of the module-level `name`: looked up in the module's namespace at each use and, when absent
// there, in the builtins; nothing is cached, so rebinding the module attribute changes what the next use
// sees. A name found in neither raises NameError.
Ref lookup_global(PyObject* name) noexcept;

}  // namespace frame
