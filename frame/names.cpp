#include "names.hpp"

#include "ref.hpp"

namespace frame {

constinit Names names = {};

bool create_names() noexcept {
    if (names.dtype_keyword != nullptr) return true;
    struct Entry {
        PyObject** slot;
        const char* text;
    };
    const Entry entries[] = {{&names.numpy, "numpy"},           {&names.np, "np"},
                             {&names.zeros, "zeros"},           {&names.zeros_like, "zeros_like"},
                             {&names.asarray, "asarray"},       {&names.float64, "float64"}};
    for (const Entry& entry : entries) {
        if (*entry.slot == nullptr) *entry.slot = PyUnicode_InternFromString(entry.text);
        if (*entry.slot == nullptr) return false;
    }
    // Interned, so that NumPy's argument parser matches the keyword by identity instead of comparing its text.
    const Ref dtype = Ref::steal(PyUnicode_InternFromString("dtype"));
    if (!dtype) return false;
    names.dtype_keyword = PyTuple_Pack(1, dtype.get());
    return names.dtype_keyword != nullptr;
}

}  // namespace frame
