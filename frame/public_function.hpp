#pragma once
// Public functions: one C entry per kernel that binds the call, accepts each argument in parameter order,
// runs the kernel and releases everything on the way out.
//
// A module declares a function by its kernel, whose parameters are the acceptance kinds of its arguments
// (ReadOnlyView, WritableView, NdarrayArgument):
//
//     PyObject* peak_search(frame::ReadOnlyView& y_d2);
//     frame::public_function<peak_search>("vosterin_peak_search_cy", {"y_d2"})

#include <Python.h>

#include <array>
#include <cstddef>
#include <tuple>
#include <utility>

#include "binding.hpp"
#include "ref.hpp"

namespace frame {

inline constexpr std::size_t max_parameters = 4;

struct FunctionDef;

// What the start-up makes for a function and keeps for the life of the process.
struct FunctionState {
    const FunctionDef* def = nullptr;
    PyObject* parameter_names[max_parameters] = {};
    PyObject* traceback_name = nullptr;  // "<module's full name>.<function>"
    const char* traceback_text = nullptr;  // its text, kept by the string
    PyObject* signature = nullptr;       // backs method.ml_doc
    PyMethodDef method = {};
    Parameters parameters = {};
};

// A public function as a module declares it.
struct FunctionDef {
    const char* name;
    std::array<const char*, max_parameters> parameters;
    std::size_t arity;
    FunctionState* state;
    PyObject* (*entry)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) noexcept;
};

// Makes the function's constant objects (parameter names, traceback name, signature): start-up step.
bool create_function_constants(const FunctionDef& def, const char* module_name) noexcept;
// Makes the function object: a builtin function whose __module__ is `module_name`.
Ref create_function_object(const FunctionDef& def, PyObject* module, PyObject* module_name) noexcept;
// Appends the traceback entry that names the function.
void add_function_traceback(const FunctionState& state) noexcept;

template <auto Kernel>
struct Entry;

template <class... Kinds, PyObject* (*Kernel)(Kinds&...)>
struct Entry<Kernel> {
    static constexpr std::size_t arity = sizeof...(Kinds);
    static_assert(arity <= max_parameters);
    static constinit inline FunctionState state{};

    static PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        PyObject* values[arity];
        if (!bind(state.parameters, args, nargs, kwnames, values)) {
            add_function_traceback(state);
            return nullptr;
        }
        return run(values, std::index_sequence_for<Kinds...>{});
    }

private:
    template <std::size_t... I>
    static PyObject* run(PyObject* const* values, std::index_sequence<I...>) noexcept {
        // The bound values are held for the whole call and dropped last.
        const std::array<Ref, arity> bound = {Ref::borrow(values[I])...};
        // Checks that refuse an argument by its type alone come first and add no traceback entry.
        if (!(Kinds::check_argument(values[I], state.def->parameters[I]) && ...)) return nullptr;
        std::tuple<Kinds...> accepted;
        PyObject* result = nullptr;
        if ((std::get<I>(accepted).accept(values[I]) && ...)) result = Kernel(std::get<I>(accepted)...);
        if (result == nullptr) add_function_traceback(state);
        (std::get<I>(accepted).release(), ...);  // in parameter order
        return result;
    }
};

template <auto Kernel, std::size_t N>
consteval FunctionDef public_function(const char* name, const char* const (&parameters)[N]) {
    using E = Entry<Kernel>;
    static_assert(N == E::arity, "one parameter name per kernel argument");
    FunctionDef def{name, {}, N, &E::state, &E::call};
    for (std::size_t i = 0; i < N; ++i) def.parameters[i] = parameters[i];
    return def;
}

}  // namespace frame
