#include "traceback.hpp"

#include <frameobject.h>

#include "ref.hpp"

namespace frame {

void add_traceback_entry(const char* function, const char* source_path, PyObject* globals) noexcept {
    // Native code has no frame of its own: make an empty code object and frame that carry the names, with the
    // exception set aside while they are made.
    PyObject* exception = PyErr_GetRaisedException();
    if (exception == nullptr) return;
    constexpr int line = 1;
    Ref code = Ref::steal(reinterpret_cast<PyObject*>(PyCode_NewEmpty(source_path, function, line)));
    Ref frame;
    if (code) {
        frame = Ref::steal(reinterpret_cast<PyObject*>(
            PyFrame_New(PyThreadState_Get(), reinterpret_cast<PyCodeObject*>(code.get()), globals, nullptr)));
    }
    PyErr_SetRaisedException(exception);  // drops whatever making the entry raised
    if (frame) PyTraceBack_Here(reinterpret_cast<PyFrameObject*>(frame.get()));
}

}  // namespace frame
