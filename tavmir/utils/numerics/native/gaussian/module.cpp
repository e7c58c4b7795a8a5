// tavmir.utils.numerics.native.gaussian: a sum of Gaussian peaks at sample positions, and its Jacobian.

#include <Python.h>

#include <iterator>

#include "kernel.hpp"
#include "module.hpp"
#include "ndarray_buffer.hpp"
#include "numpy_api.hpp"
#include "numpy_calls.hpp"
#include "public_function.hpp"
#include "ref.hpp"
#include "strided.hpp"

namespace {

// Element (j, k) of a result matrix lies at base + j * row_stride + k * column_stride bytes.
struct StridedMatrix {
    char* base;
    Py_ssize_t row_stride;
    Py_ssize_t column_stride;

    frame::unaligned_double& operator()(Py_ssize_t j, Py_ssize_t k) const noexcept {
        return *reinterpret_cast<frame::unaligned_double*>(base + j * row_stride + k * column_stride);
    }
};

// None for an argument gives the empty buffer, of extent 0: None for `x` means no samples, for `params` no peaks.
// Values after the last whole peak take no part.
Py_ssize_t peak_count(const frame::NdarrayBuffer& params) { return params.extent(0) / gaussian::values_per_peak; }

// The kernels write without bounds checks because np.zeros makes exactly the shape asked for. Only a module
// attribute `np` rebound to something else can return another shape, or None; either is refused here, once,
// before anything is written.
bool has_shape(const frame::Ref& result, const frame::NdarrayBuffer& buffer, Py_ssize_t rows) {
    if (result.get() != Py_None && buffer.extent(0) == rows) return true;
    PyErr_Format(PyExc_ValueError, "expected np.zeros to return an array of shape (%zd,)", rows);
    return false;
}

bool has_shape(const frame::Ref& result, const frame::NdarrayBuffer& buffer, Py_ssize_t rows, Py_ssize_t columns) {
    if (result.get() != Py_None && buffer.extent(0) == rows && buffer.extent(1) == columns) return true;
    PyErr_Format(PyExc_ValueError, "expected np.zeros to return an array of shape (%zd, %zd)", rows, columns);
    return false;
}

PyObject* multi_gaussian(frame::NdarrayArgument& x, frame::NdarrayArgument& params) {
    const Py_ssize_t m = x.extent(0);
    frame::Ref y = frame::zeros(m);
    frame::NdarrayBuffer y_buffer;
    if (!y || !y_buffer.take_result(y.get(), 1) || !has_shape(y, y_buffer, m)) return nullptr;
    gaussian::model(x.read(), m, params.read(), peak_count(params), y_buffer.write());
    return y.release();
}

PyObject* multi_gaussian_jacobian(frame::NdarrayArgument& x, frame::NdarrayArgument& params) {
    const Py_ssize_t m = x.extent(0);
    const Py_ssize_t n = params.extent(0);
    frame::Ref J = frame::zeros(m, n);
    frame::NdarrayBuffer J_buffer;
    if (!J || !J_buffer.take_result(J.get(), 2) || !has_shape(J, J_buffer, m, n)) return nullptr;
    const StridedMatrix matrix{J_buffer.data(), J_buffer.stride(0), J_buffer.stride(1)};
    gaussian::jacobian(x.read(), m, params.read(), peak_count(params), matrix);
    return J.release();
}

constexpr frame::FunctionDef functions[] = {
    frame::public_function<multi_gaussian>("multi_gaussian_cy", {"x", "params"}),
    frame::public_function<multi_gaussian_jacobian>("multi_gaussian_jacobian_cy", {"x", "params"}),
};

constexpr frame::ModuleInfo gaussian_module = {
    "gaussian",
    "tavmir.utils.numerics.native.gaussian",
    "tavmir/utils/numerics/native/gaussian",
    frame::bind_numpy_api,
    functions,
    std::size(functions),
};

}  // namespace

PyMODINIT_FUNC PyInit_gaussian() { return frame::define_module(gaussian_module); }
