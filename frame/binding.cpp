#include "binding.hpp"

namespace frame {
namespace {

bool count_error(const Parameters& parameters, Py_ssize_t given) {
    PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
                 parameters.function_name, "exactly", parameters.count, parameters.count == 1 ? "" : "s", given);
    return false;
}

// The parameter in [first, last) that `name` names, or -1: by identity first (names the compiler interned
// match here), then by text.
Py_ssize_t find(const Parameters& parameters, Py_ssize_t first, Py_ssize_t last, PyObject* name) {
    for (Py_ssize_t i = first; i < last; ++i) {
        if (parameters.names[i] == name) return i;
    }
    if (!PyUnicode_Check(name)) return -1;
    for (Py_ssize_t i = first; i < last; ++i) {
        if (PyUnicode_Compare(parameters.names[i], name) == 0) return i;
    }
    return -1;
}

}  // namespace

bool bind(const Parameters& parameters, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          PyObject** values) noexcept {
    const Py_ssize_t count = parameters.count;
    const Py_ssize_t keywords = kwnames != nullptr ? PyTuple_GET_SIZE(kwnames) : 0;
    if (nargs > count || (keywords == 0 && nargs != count)) return count_error(parameters, nargs);
    for (Py_ssize_t i = 0; i < count; ++i) values[i] = i < nargs ? args[i] : nullptr;

    for (Py_ssize_t k = 0; k < keywords; ++k) {
        PyObject* name = PyTuple_GET_ITEM(kwnames, k);
        const Py_ssize_t slot = find(parameters, nargs, count, name);
        // A name given twice can only come from callers below the Python level; it is refused like a
        // parameter given by position and by keyword.
        if (slot >= 0 && values[slot] == nullptr) {
            values[slot] = args[nargs + k];
            continue;
        }
        if (!PyUnicode_Check(name)) {
            PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", parameters.function_name);
            return false;
        }
        if (slot >= 0 || find(parameters, 0, nargs, name) >= 0) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'",
                         parameters.function_name, name);
            return false;
        }
        PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", parameters.function_name,
                     name);
        return false;
    }
    for (Py_ssize_t i = nargs; i < count; ++i) {
        if (values[i] == nullptr) return count_error(parameters, i);
    }
    return true;
}

}  // namespace frame
