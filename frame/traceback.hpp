#pragma once
// Traceback entries for failures inside native code.

#include <Python.h>

namespace frame {

// Appends one entry, "File <source_path>, in <function>", to the traceback of the pending exception, so a
// failure inside a module names the function it happened in. `globals` is the namespace the entry's frame
// reports. The pending exception is kept as it is; if the entry cannot be made, it is simply left out.
void add_traceback_entry(const char* function, const char* source_path, PyObject* globals) noexcept;

}  // namespace frame
