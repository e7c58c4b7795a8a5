#pragma once
// Keeping a pending exception intact across clean-up.

#include <Python.h>

namespace frame {

// Sets the pending exception (if any) aside for its lifetime and restores it afterwards. Releasing a buffer
// can run an exporter's Python code; wrapping the release in one of these keeps the caller's exception
// unchanged whatever that code does.
class PendingErrorGuard {
public:
    PendingErrorGuard() noexcept : saved_(PyErr_GetRaisedException()) {}
    ~PendingErrorGuard() {
        if (saved_ != nullptr) PyErr_SetRaisedException(saved_);
    }
    PendingErrorGuard(const PendingErrorGuard&) = delete;
    PendingErrorGuard& operator=(const PendingErrorGuard&) = delete;

private:
    PyObject* saved_;
};

}  // namespace frame
