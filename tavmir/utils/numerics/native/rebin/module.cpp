// tavmir.utils.numerics.native.rebin: redistribution of histogram counts onto new bin edges by overlap.

#include <Python.h>

#include <algorithm>
#include <optional>

#include "array_view.hpp"
#include "kernel.hpp"
#include "module.hpp"
#include "numpy_calls.hpp"
#include "public_function.hpp"
#include "ref.hpp"
#include "strided.hpp"

namespace {

bool plain_array(const frame::ArrayView& view) { return frame::is_double_array(view.data(), view.stride()); }

// The elements of a plain array view, as plain pointers.
const double* read_adjacent(const frame::ArrayView& view) { return reinterpret_cast<const double*>(view.data()); }
double* write_adjacent(const frame::ArrayView& view) { return reinterpret_cast<double*>(view.data()); }

// Sweeps old bins 0 .. bins-1 into new_counts; the new bin of a write past its end, if the sweep met one.
std::optional<Py_ssize_t> sweep(const frame::ArrayView& energy_axis, const frame::ArrayView& count_axis,
                                Py_ssize_t bins, const frame::ArrayView& new_energy_axis, Py_ssize_t new_n,
                                const frame::ArrayView& new_counts) {
    // np.zeros makes exactly new_n elements, so no write can miss; only a rebound np can hand back fewer, and
    // then every write is checked, so that none lands outside the array.
    if (new_counts.length() < new_n) {
        return rebin::sweep<true>(energy_axis.read(), count_axis.read(), bins, new_energy_axis.read(), new_n,
                                  new_counts.write(), new_counts.length());
    }
    // Adjacent elements need no stride arithmetic, which matters most when old bins are many and short.
    if (plain_array(energy_axis) && plain_array(count_axis) && plain_array(new_energy_axis) &&
        plain_array(new_counts)) {
        return rebin::sweep<false>(read_adjacent(energy_axis), read_adjacent(count_axis), bins,
                                   read_adjacent(new_energy_axis), new_n, write_adjacent(new_counts),
                                   new_counts.length());
    }
    return rebin::sweep<false>(energy_axis.read(), count_axis.read(), bins, new_energy_axis.read(), new_n,
                               new_counts.write(), new_counts.length());
}

PyObject* rebin_histogram(frame::WritableView& energy_axis, frame::WritableView& count_axis,
                          frame::WritableView& new_energy_axis) {
    const Py_ssize_t old_n = count_axis.length();
    const Py_ssize_t new_n = new_energy_axis.length() - 1;
    const frame::Ref zeros = frame::zeros(new_n);
    frame::WritableView new_counts;
    if (!zeros || !new_counts.accept(zeros.get())) return nullptr;

    // Each old bin reads its two edges with checked access. Every bin whose edges energy_axis holds is swept
    // without a check; the first bin that lacks one then fails on the same read as checking edge by edge.
    const Py_ssize_t bins = std::min(old_n, std::max<Py_ssize_t>(energy_axis.length() - 1, 0));
    if (const auto unwritten = sweep(energy_axis, count_axis, bins, new_energy_axis, new_n, new_counts)) {
        new_counts.checked(*unwritten);  // raises IndexError
        return nullptr;
    }
    if (bins < old_n) {
        if (energy_axis.checked(bins) != nullptr) energy_axis.checked(bins + 1);  // one of them raises
        return nullptr;
    }
    return frame::asarray(new_counts).release();
}

constexpr frame::FunctionDef functions[] = {
    frame::public_function<rebin_histogram>("rebin_histogram_cy", {"energy_axis", "count_axis", "new_energy_axis"}),
};

constexpr frame::ModuleInfo rebin_module = {
    "rebin",
    "tavmir.utils.numerics.native.rebin",
    "tavmir/utils/numerics/native/rebin",
    nullptr,  // uses NumPy only through `np`
    functions,
    std::size(functions),
};

}  // namespace

PyMODINIT_FUNC PyInit_rebin() { return frame::define_module(rebin_module); }
