#pragma once
// The start-up template every module follows: an init export that hands the interpreter a multi-phase module
// definition, a create step that makes the one module object, and an exec step that checks the runtime,
// binds NumPy and creates the public function objects. A module describes itself in a ModuleInfo:
//
//     PyMODINIT_FUNC PyInit_vosterin() { return frame::define_module(vosterin); }

#include <Python.h>

#include <cstddef>

#include "public_function.hpp"

namespace frame {

struct ModuleInfo {
    const char* name;         // "vosterin"
    const char* full_name;    // "tavmir.utils.numerics.native.vosterin"
    const char* source_path;  // named in traceback entries
    bool (*bind_numpy_api)() noexcept;  // null for a module that does not use NumPy's C API
    const FunctionDef* functions;
    std::size_t function_count;
};

// The module definition for the init export. All state is process-wide: a deliverable holds one module.
PyObject* define_module(const ModuleInfo& info) noexcept;

// The module being (or that was) started, and its namespace; valid from the exec step on.
const ModuleInfo& module_info() noexcept;
PyObject* module_namespace() noexcept;
// The builtins' namespace, kept by the exec step.
PyObject* builtins_namespace() noexcept;

}  // namespace frame
