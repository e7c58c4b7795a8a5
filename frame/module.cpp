#include "module.hpp"

#include <cstdint>

#include "names.hpp"
#include "traceback.hpp"
#include "view_object.hpp"

namespace frame {
namespace {

// Process-wide state of the deliverable. The modules allow one interpreter per process, so one set serves.
struct ProcessState {
    const ModuleInfo* info = nullptr;
    PyModuleDef definition = {};
    PyModuleDef_Slot slots[3] = {};
    std::int64_t interpreter = -1;  // the interpreter that first ran the create step; never reset
    PyObject* module = nullptr;     // the module whose exec step has begun (owned)
    PyObject* module_name = nullptr;
    PyObject* init_entry = nullptr;  // "init <full name>", the traceback entry of a failed start-up
    PyObject* builtins = nullptr;
};

constinit ProcessState process;

// Copies one attribute of the import spec into the module's namespace. A spec without the attribute is
// skipped; `only_if_set` also skips a value of None.
bool copy_spec_attribute(PyObject* spec, const char* attribute, PyObject* module, const char* entry,
                         bool only_if_set) {
    PyObject* value = nullptr;
    const int found = PyObject_GetOptionalAttrString(spec, attribute, &value);
    if (found <= 0) return found == 0;
    Ref held = Ref::steal(value);
    if (only_if_set && value == Py_None) return true;
    return PyModule_AddObjectRef(module, entry, value) == 0;
}

PyObject* create(PyObject* spec, PyModuleDef*) {
    const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (interpreter == -1) return nullptr;
    if (process.interpreter == -1) {
        process.interpreter = interpreter;
    } else if (process.interpreter != interpreter) {
        PyErr_SetString(PyExc_ImportError,
                        "Interpreter change detected - this module can only be loaded into one interpreter per "
                        "process.");
        return nullptr;
    }
    if (process.module != nullptr) return Py_NewRef(process.module);

    Ref name = Ref::steal(PyObject_GetAttrString(spec, "name"));
    if (!name) return nullptr;
    Ref module = Ref::steal(PyModule_NewObject(name.get()));
    if (!module || !copy_spec_attribute(spec, "loader", module.get(), "__loader__", false) ||
        !copy_spec_attribute(spec, "origin", module.get(), "__file__", false) ||
        !copy_spec_attribute(spec, "parent", module.get(), "__package__", false) ||
        !copy_spec_attribute(spec, "submodule_search_locations", module.get(), "__path__", true)) {
        return nullptr;
    }
    return module.release();
}

bool warn_on_version_mismatch() {
    const int major = static_cast<int>((Py_Version >> 24) & 0xff);
    const int minor = static_cast<int>((Py_Version >> 16) & 0xff);
    if (major == PY_MAJOR_VERSION && minor == PY_MINOR_VERSION) return true;
    return PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                            "compile time Python version %d.%d of module '%.100s' %s runtime version %d.%d",
                            PY_MAJOR_VERSION, PY_MINOR_VERSION, process.info->full_name, "does not match", major,
                            minor) == 0;
}

bool create_constants() {
    const ModuleInfo& info = *process.info;
    if (process.module_name == nullptr) {
        process.module_name = PyUnicode_InternFromString(info.full_name);
        if (process.module_name == nullptr) return false;
    }
    if (process.init_entry == nullptr) {
        process.init_entry = PyUnicode_FromFormat("init %s", info.full_name);
        if (process.init_entry == nullptr || PyUnicode_AsUTF8(process.init_entry) == nullptr) {
            Py_CLEAR(process.init_entry);
            return false;
        }
    }
    if (!create_names() || !create_view_object_type(info.full_name)) return false;
    for (std::size_t i = 0; i < info.function_count; ++i) {
        if (!create_function_constants(info.functions[i], info.full_name)) return false;
    }
    return true;
}

// Binds `np` to the numpy module, taken from sys.modules when it is there, and keeps the builtins' namespace
// for name lookups.
bool bind_np(PyObject* module) {
    Ref numpy = Ref::steal(PyImport_GetModule(names.numpy));
    if (!numpy) {
        if (PyErr_Occurred()) return false;
        numpy = Ref::steal(
            PyImport_ImportModuleLevelObject(names.numpy, PyModule_GetDict(module), nullptr, nullptr, 0));
        if (!numpy) return false;
    }
    if (process.builtins == nullptr) {
        Ref builtins = Ref::steal(PyImport_ImportModule("builtins"));
        if (!builtins) return false;
        process.builtins = Py_NewRef(PyModule_GetDict(builtins.get()));
    }
    return PyObject_SetAttr(module, names.np, numpy.get()) == 0;
}

bool create_functions(PyObject* module) {
    const ModuleInfo& info = *process.info;
    for (std::size_t i = 0; i < info.function_count; ++i) {
        const FunctionDef& def = info.functions[i];
        Ref function = create_function_object(def, module, process.module_name);
        if (!function || PyModule_AddObjectRef(module, def.name, function.get()) < 0) return false;
    }
    return true;
}

int exec(PyObject* module) {
    if (process.module != nullptr) {
        if (process.module == module) return 0;  // a repeated exec, as from a reload
        PyErr_Format(PyExc_RuntimeError,
                     "Module '%s' has already been imported. Re-initialisation is not supported.",
                     process.info->name);
        return -1;
    }
    process.module = Py_NewRef(module);
    const bool started = [module] {
        if (!warn_on_version_mismatch() || !create_constants()) return false;
        // From here on a failure names the start-up in the traceback.
        const bool done = (process.info->bind_numpy_api == nullptr || process.info->bind_numpy_api()) &&
                          bind_np(module) && create_functions(module);
        if (!done) {
            add_traceback_entry(PyUnicode_AsUTF8(process.init_entry), process.info->source_path,
                                PyModule_GetDict(module));
        }
        return done;
    }();
    if (started) return 0;
    Py_CLEAR(process.module);
    return -1;
}

}  // namespace

PyObject* define_module(const ModuleInfo& info) noexcept {
    process.info = &info;
    process.slots[0] = {Py_mod_create, reinterpret_cast<void*>(create)};
    process.slots[1] = {Py_mod_exec, reinterpret_cast<void*>(exec)};
    process.slots[2] = {0, nullptr};
    process.definition = {PyModuleDef_HEAD_INIT, info.name, nullptr, 0, nullptr, process.slots,
                          nullptr, nullptr, nullptr};
    return PyModuleDef_Init(&process.definition);
}

const ModuleInfo& module_info() noexcept { return *process.info; }

PyObject* module_namespace() noexcept { return PyModule_GetDict(process.module); }

PyObject* builtins_namespace() noexcept { return process.builtins; }

}  // namespace frame
