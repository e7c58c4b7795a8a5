#include "global_lookup.hpp"

#include "module.hpp"

namespace frame {

Ref lookup_global(PyObject* name) noexcept {
    PyObject* value = nullptr;
    int found = PyDict_GetItemRef(module_namespace(), name, &value);
    if (found == 0) found = PyDict_GetItemRef(builtins_namespace(), name, &value);
    if (found == 0) PyErr_Format(PyExc_NameError, "name '%U' is not defined", name);
    return Ref::steal(value);
}

}  // namespace frame
