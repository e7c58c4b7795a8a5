#include "public_function.hpp"

#include "module.hpp"
#include "traceback.hpp"

namespace frame {

bool create_function_constants(const FunctionDef& def, const char* module_name) noexcept {
    FunctionState& state = *def.state;
    state.def = &def;
    for (std::size_t i = 0; i < def.arity; ++i) {
        Py_XDECREF(state.parameter_names[i]);
        state.parameter_names[i] = PyUnicode_InternFromString(def.parameters[i]);
        if (state.parameter_names[i] == nullptr) return false;
    }
    state.parameters = {def.name, state.parameter_names, static_cast<Py_ssize_t>(def.arity)};

    Py_XSETREF(state.traceback_name, PyUnicode_FromFormat("%s.%s", module_name, def.name));
    if (state.traceback_name == nullptr) return false;
    state.traceback_text = PyUnicode_AsUTF8(state.traceback_name);
    if (state.traceback_text == nullptr) return false;

    // A docstring made only of a text signature gives inspect.signature the parameters and leaves __doc__
    // None; "$module" stands for the module the function is bound to and is not shown.
    Ref signature = Ref::steal(PyUnicode_FromFormat("%s($module", def.name));
    for (std::size_t i = 0; signature && i < def.arity; ++i) {
        Ref extended = Ref::steal(PyUnicode_FromFormat("%U, %s", signature.get(), def.parameters[i]));
        signature = std::move(extended);
    }
    if (signature) signature = Ref::steal(PyUnicode_FromFormat("%U)\n--\n\n", signature.get()));
    if (!signature) return false;
    Py_XSETREF(state.signature, signature.release());
    const char* doc = PyUnicode_AsUTF8(state.signature);
    if (doc == nullptr) return false;

    state.method = {def.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(def.entry)),
                    METH_FASTCALL | METH_KEYWORDS, doc};
    return true;
}

Ref create_function_object(const FunctionDef& def, PyObject* module, PyObject* module_name) noexcept {
    return Ref::steal(PyCMethod_New(&def.state->method, module, module_name, nullptr));
}

void add_function_traceback(const FunctionState& state) noexcept {
    add_traceback_entry(state.traceback_text, module_info().source_path, module_namespace());
}

}  // namespace frame
