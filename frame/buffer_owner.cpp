#include "buffer_owner.hpp"

#include <new>

#include "pending_error.hpp"

namespace frame {

BufferOwner* BufferOwner::adopt(Py_buffer& buffer) noexcept {
    auto* owner = new (std::nothrow) BufferOwner(buffer);
    if (owner == nullptr) {
        PyBuffer_Release(&buffer);
        PyErr_NoMemory();
    }
    return owner;
}

void BufferOwner::let_go() noexcept {
    if (holds_.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    PendingErrorGuard keep;
    PyBuffer_Release(&buffer_);
    delete this;
}

}  // namespace frame
