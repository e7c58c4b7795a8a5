#pragma once
// The shared holder of a buffer taken from an argument.

#include <Python.h>

#include <atomic>

namespace frame {

// Holds the buffer an exporter gave for one argument. Every array view on it, including the one inside a view
// object handed to NumPy, keeps a hold; the holds are counted atomically, and the last one to let go gives the
// buffer back to the exporter. Owners live on the heap because a view object may outlive the call.
class BufferOwner {
public:
    // Takes over `buffer` (already obtained from its exporter) with one hold. On failure to allocate, gives the
    // buffer back and returns null with MemoryError set.
    static BufferOwner* adopt(Py_buffer& buffer) noexcept;

    void hold() noexcept { holds_.fetch_add(1, std::memory_order_relaxed); }
    void let_go() noexcept;

    // The element format the exporter gave, or null when it gave none.
    const char* format() const noexcept { return buffer_.format; }

private:
    explicit BufferOwner(const Py_buffer& buffer) noexcept : buffer_(buffer) {}
    ~BufferOwner() = default;

    std::atomic<Py_ssize_t> holds_{1};
    Py_buffer buffer_;
};

}  // namespace frame
