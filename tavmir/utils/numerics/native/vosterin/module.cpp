// tavmir.utils.numerics.native.vosterin: the numerical core of a peak search over a spectrum.

#include <Python.h>

#include <algorithm>
#include <cstdint>

#include "array_view.hpp"
#include "checked_index.hpp"
#include "kernel.hpp"
#include "module.hpp"
#include "ndarray_buffer.hpp"
#include "numpy_api.hpp"
#include "numpy_calls.hpp"
#include "public_function.hpp"
#include "ref.hpp"
#include "strided.hpp"

namespace {

// The bytes `length` adjacent doubles from `data` cover.
struct ByteRange {
    std::uintptr_t low, high;
};

ByteRange byte_range(const char* data, Py_ssize_t length) {
    const auto low = reinterpret_cast<std::uintptr_t>(data);
    return {low, low + static_cast<std::uintptr_t>(length) * sizeof(double)};
}

bool overlap(ByteRange a, ByteRange b) { return a.low < b.high && b.low < a.high; }

// Whether y, S and F are plain arrays that share no memory, so that the vector loop may read ahead of its
// writes. Results that share memory with y can only come from a rebound np.zeros_like.
bool separate_plain_arrays(const frame::ArrayView& y, const frame::NdarrayBuffer& S, const frame::NdarrayBuffer& F) {
    if (!frame::is_double_array(y.data(), y.stride()) || !frame::is_double_array(S.data(), S.stride(0)) ||
        !frame::is_double_array(F.data(), F.stride(0))) {
        return false;
    }
    const ByteRange y_bytes = byte_range(y.data(), y.length());
    const ByteRange S_bytes = byte_range(S.data(), S.extent(0));
    const ByteRange F_bytes = byte_range(F.data(), F.extent(0));
    return !overlap(y_bytes, S_bytes) && !overlap(y_bytes, F_bytes) && !overlap(S_bytes, F_bytes);
}

// Fills S and F at i = 1 .. n-2. Every index is a checked access; y's are in range by construction and S's and
// F's are whenever the results are as long as y, so they are checked once here instead of per element. When a
// result is shorter (only a rebound np.zeros_like can make one), the loop stops where the first check fails,
// with the same writes and the same IndexError as checking each access.
bool fill(const frame::ArrayView& y, const frame::NdarrayBuffer& S, const frame::NdarrayBuffer& F) {
    const Py_ssize_t last = y.length() - 1;
    const Py_ssize_t in_bounds = std::min({last, S.extent(0), F.extent(0)});
    if (separate_plain_arrays(y, S, F)) {
        vosterin::second_difference_contiguous(reinterpret_cast<const double*>(y.data()),
                                               reinterpret_cast<double*>(S.data()),
                                               reinterpret_cast<double*>(F.data()), 1, in_bounds);
    } else {
        vosterin::second_difference(y.read(), S.write(), F.write(), 1, in_bounds);
    }
    Py_ssize_t i = std::max<Py_ssize_t>(in_bounds, 1);
    if (i >= last) return true;
    if (!frame::check_index(i, S.extent(0))) return false;
    S.write()[i] = vosterin::second_difference_at(y.read(), i);
    return frame::check_index(i, F.extent(0));
}

PyObject* peak_search(frame::ReadOnlyView& y_d2) {
    frame::Ref S = frame::zeros_like(y_d2);
    frame::NdarrayBuffer S_buffer;
    if (!S || !S_buffer.take_result(S.get(), 1)) return nullptr;
    frame::Ref F = frame::zeros_like(y_d2);
    frame::NdarrayBuffer F_buffer;
    if (!F || !F_buffer.take_result(F.get(), 1)) return nullptr;
    if (!fill(y_d2, S_buffer, F_buffer)) return nullptr;
    return PyTuple_Pack(2, S.get(), F.get());
}

constexpr frame::FunctionDef functions[] = {
    frame::public_function<peak_search>("vosterin_peak_search_cy", {"y_d2"}),
};

constexpr frame::ModuleInfo vosterin_module = {
    "vosterin",
    "tavmir.utils.numerics.native.vosterin",
    "tavmir/utils/numerics/native/vosterin",
    frame::bind_numpy_api,
    functions,
    std::size(functions),
};

}  // namespace

PyMODINIT_FUNC PyInit_vosterin() { return frame::define_module(vosterin_module); }
