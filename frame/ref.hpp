#pragma once
// Owned references to Python objects.

#include <Python.h>

#include <utility>

namespace frame {

// Owns one reference and drops it when it goes out of scope, so an early return cannot leak it. It is built
// either by stealing a reference the caller already owns (the result of a C-API call that returns a new
// reference) or by borrowing one, which adds a reference of its own.
class Ref {
public:
    Ref() noexcept = default;
    static Ref steal(PyObject* object) noexcept { return Ref(object); }
    static Ref borrow(PyObject* object) noexcept { return Ref(Py_XNewRef(object)); }

    Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        Ref old(std::exchange(object_, std::exchange(other.object_, nullptr)));
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Py_XDECREF(object_); }

    PyObject* get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    // Hands the reference over to the caller, who then owns it.
    PyObject* release() noexcept { return std::exchange(object_, nullptr); }

private:
    explicit Ref(PyObject* object) noexcept : object_(object) {}
    PyObject* object_ = nullptr;
};

}  // namespace frame
