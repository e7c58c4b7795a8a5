import math
import traceback
import types
import warnings

import numpy as np
import pytest

import gaussian_reference as reference
from bitwise import assert_same_bits
from doubles import Double
from layouts import LAYOUTS, read_only
from tavmir.utils.numerics.native import gaussian
from tavmir.utils.numerics.native.gaussian import multi_gaussian_cy, multi_gaussian_jacobian_cy

FUNCTIONS = [multi_gaussian_cy, multi_gaussian_jacobian_cy]
SPECIAL = [0.0, -0.0, math.nan, -math.nan, math.inf, -math.inf]


def draw(rng, size, scale, specials):
    """Normal values with about a quarter replaced by special ones."""
    values = rng.normal(0.0, scale, size)
    special = rng.random(size) < 0.25
    values[special] = rng.choice(specials, special.sum())
    return values


def random_case(seed, n):
    """Sample positions and a parameter vector of length n; some samples sit exactly on a centre, where a zero
    variance gives 0/0."""
    rng = np.random.default_rng(seed)
    n_gauss = -(-n // 3)
    A = draw(rng, n_gauss, 5.0, SPECIAL)
    mu = draw(rng, n_gauss, 3.0, SPECIAL)
    variance = draw(rng, n_gauss, 2.0, SPECIAL + [5e-324, 1e-300, 1e300])
    params = np.column_stack([A, mu, variance]).ravel()[:n].copy()
    x = draw(rng, int(rng.integers(0, 24)), 4.0, SPECIAL + [1e300])
    on_centre = min(len(x), n_gauss)
    x[:on_centre] = mu[:on_centre]
    return x, params


CASES = [(seed, n) for n in range(8) for seed in range(12)]


@pytest.mark.parametrize(("seed", "n"), CASES)
def test_both_functions_match_the_reference_bit_for_bit(seed, n):
    x, params = random_case(seed, n)
    assert_same_bits(multi_gaussian_cy(x, params), reference.model(x, params))
    assert_same_bits(multi_gaussian_jacobian_cy(x, params), reference.jacobian(x, params))


@pytest.mark.parametrize(("seed", "n"), CASES)
def test_amplitude_times_factor_column_sums_to_the_model(seed, n):
    x, params = random_case(seed, n)
    J = multi_gaussian_jacobian_cy(x, params)
    total = [Double(0.0)] * len(x)
    for i in range(len(params) // 3):
        for j in range(len(x)):
            total[j] = total[j] + Double(params[3 * i]) * Double(J[j, 3 * i])
    assert_same_bits(multi_gaussian_cy(x, params), total)


# Inputs on which a different operation order gives a different result.
ORDER_SENSITIVE = {
    "-0.5 dx first: dx dx alone overflows": ([1.5e154], [1.0, 0.0, 1e306]),
    "no factor 2 in the divisor: 2 variance alone overflows": ([1e154], [1.0, 0.0, 1e308]),
    "(2.0 variance) variance: 2.0 (variance variance) rounds otherwise": ([2.72e-162], [1e300, 0.0, 2.72e-162]),
    "each sample starts at +0.0: a contribution of -0.0 leaves it +0.0": ([100.0, 0.0], [-1.0, 0.0, 1.0]),
}


@pytest.mark.parametrize(("x", "params"), ORDER_SENSITIVE.values(), ids=ORDER_SENSITIVE.keys())
def test_operation_order_where_it_shows(x, params):
    x, params = np.array(x), np.array(params)
    assert_same_bits(multi_gaussian_cy(x, params), reference.model(x, params))
    assert_same_bits(multi_gaussian_jacobian_cy(x, params), reference.jacobian(x, params))


@pytest.mark.parametrize("params_layout", LAYOUTS)
@pytest.mark.parametrize("x_layout", LAYOUTS)
@pytest.mark.parametrize("function", FUNCTIONS)
def test_any_layout_gives_the_contiguous_result_and_is_left_unchanged(function, x_layout, params_layout):
    x_values, params_values = random_case(seed=3, n=7)
    x, params = LAYOUTS[x_layout](x_values), LAYOUTS[params_layout](params_values)
    before = x.tobytes(), params.tobytes()
    assert_same_bits(function(x, params), function(x_values.copy(), params_values.copy()))
    assert (x.tobytes(), params.tobytes()) == before


@pytest.mark.parametrize("function", FUNCTIONS)
def test_subclass_and_shared_argument_are_accepted(function):
    class Spectrum(np.ndarray):
        pass

    values = np.array([0.5, 1.0, 2.0])
    assert_same_bits(function(values.view(Spectrum), values.view(Spectrum)), function(values, values.copy()))


def test_worked_example():
    x, params = np.array([0.0, 1.0, 2.0]), np.array([2.0, 1.0, 1.0])
    e = math.exp(-0.5)
    assert_same_bits(multi_gaussian_cy(x, params), [2 * e, 2.0, 2 * e])
    assert_same_bits(multi_gaussian_jacobian_cy(x, params), [[e, -2 * e, e], [1.0, 0.0, 0.0], [e, 2 * e, e]])


def test_two_peaks_add_in_peak_order():
    x = np.linspace(-3.0, 5.0, 41)
    params = np.array([1.0, 0.0, 1.0, 3.0, 2.0, 0.5])
    expected = [math.exp(-0.5 * v * v / 1.0) + 3.0 * math.exp(-0.5 * (v - 2.0) * (v - 2.0) / 0.5) for v in x]
    assert_same_bits(multi_gaussian_cy(x, params), expected)


def test_zero_variance_gives_zero_off_centre_and_nan_on_it():
    x, params = np.array([-1.0, 0.0, 2.0]), np.array([3.0, 0.0, 0.0])
    y = multi_gaussian_cy(x, params)
    J = multi_gaussian_jacobian_cy(x, params)
    assert_same_bits(y[[0, 2]], [0.0, 0.0])
    assert_same_bits(J[[0, 2], 0], [0.0, 0.0])
    assert np.isnan(y[1]) and np.isnan(J[1, 0])
    assert np.isnan(J[:, 1:]).all()


@pytest.mark.parametrize(
    ("n", "columns_used"), [(0, 0), (1, 0), (2, 0), (3, 3), (4, 3), (5, 3), (6, 6), (7, 6)]
)
def test_one_column_per_parameter_value_and_trailing_values_take_no_part(n, columns_used):
    x = np.array([-1.0, 0.25, 3.0])
    params = np.array([2.0, 0.5, 1.5, -1.0, 1.0, 0.75, 9.0][:n])
    J = multi_gaussian_jacobian_cy(x, params)
    assert J.shape == (3, n)
    assert_same_bits(J[:, columns_used:], np.zeros((3, n - columns_used)))
    assert_same_bits(multi_gaussian_cy(x, params), multi_gaussian_cy(x, params[:columns_used].copy()))


@pytest.mark.parametrize(
    ("x", "params", "model", "jacobian_shape"),
    [
        (None, np.array([1.0, 0.0, 1.0]), np.zeros(0), (0, 3)),
        (np.array([0.0, 1.0]), None, np.zeros(2), (2, 0)),
        (None, None, np.zeros(0), (0, 0)),
    ],
)
def test_none_is_an_empty_array(x, params, model, jacobian_shape):
    assert_same_bits(multi_gaussian_cy(x, params), model)
    assert_same_bits(multi_gaussian_jacobian_cy(x, params), np.zeros(jacobian_shape))


def test_lengths_beyond_32_bits_keep_their_size():
    # Zero strides make arrays of more than 2**31 elements without the memory; the Jacobian of no samples or no
    # parameters allocates nothing either.
    huge = 2**31 + 1
    many = np.lib.stride_tricks.as_strided(np.zeros(1), shape=(huge,), strides=(0,))
    assert multi_gaussian_jacobian_cy(many, None).shape == (huge, 0)
    assert multi_gaussian_jacobian_cy(None, many).shape == (0, huge)


@pytest.mark.parametrize("function", FUNCTIONS)
def test_each_call_returns_a_new_array(function):
    x, params = np.array([0.0, 1.0, 2.0]), np.array([2.0, 1.0, 1.0])
    first, second = function(x, params), function(x, params)
    assert first is not second
    assert not np.shares_memory(first, second)
    assert not np.shares_memory(first, x) and not np.shares_memory(first, params)


@pytest.mark.parametrize("function", FUNCTIONS)
def test_arithmetic_raises_and_warns_nothing(function):
    x = np.array([0.0, 1.0, 1e300, -math.inf, math.nan])
    params = np.array([1.0, 0.0, 0.0, 2.0, 1.0, -1e-300, math.inf, 0.0, math.nan, 1.0, 1.0, -0.0])
    with warnings.catch_warnings(), np.errstate(all="raise"):
        warnings.simplefilter("error")
        function(x, params)


@pytest.mark.parametrize("function", FUNCTIONS)
def test_binds_by_keyword(function):
    x, params = np.array([0.0, 1.0]), np.array([2.0, 1.0, 1.0])
    assert_same_bits(function(params=params, x=x), function(x, params))
    assert_same_bits(function(x, params=params), function(x, params))


def traceback_names(error):
    return [entry.name for entry in traceback.extract_tb(error.__traceback__)]


X = np.array([0.0, 1.0])
P = np.array([1.0, 0.0, 1.0])


# (arguments, keyword arguments, exception, message with {name} for the function, traceback entry added)
REFUSALS = [
    ((), {}, TypeError, "{name}() takes exactly 2 positional arguments (0 given)", True),
    ((X,), {}, TypeError, "{name}() takes exactly 2 positional arguments (1 given)", True),
    ((X, P, P), {}, TypeError, "{name}() takes exactly 2 positional arguments (3 given)", True),
    ((), {"params": P}, TypeError, "{name}() takes exactly 2 positional arguments (0 given)", True),
    ((X,), {"x": P}, TypeError, "{name}() got multiple values for keyword argument 'x'", True),
    ((X, P), {"sigma": P}, TypeError, "{name}() got an unexpected keyword argument 'sigma'", True),
    (
        ([0.0], (1.0,)),
        {},
        TypeError,
        "Argument 'x' has incorrect type (expected numpy.ndarray, got list)",
        False,
    ),
    (
        (X, (1.0, 0.0, 1.0)),
        {},
        TypeError,
        "Argument 'params' has incorrect type (expected numpy.ndarray, got tuple)",
        False,
    ),
    (
        (X.astype(np.float32), [0.0]),
        {},
        TypeError,
        "Argument 'params' has incorrect type (expected numpy.ndarray, got list)",
        False,
    ),
    ((X.astype(np.float32), P), {}, ValueError, "Buffer dtype mismatch, expected 'double' but got 'float'", True),
    (  # x is accepted first, so its refusal is the one reported
        (X.astype(np.float32), P.astype(bool)),
        {},
        ValueError,
        "Buffer dtype mismatch, expected 'double' but got 'float'",
        True,
    ),
    ((X, P.astype(np.int64)), {}, ValueError, "Buffer dtype mismatch, expected 'double' but got 'long'", True),
    (
        (X.astype(complex), P),
        {},
        ValueError,
        "Buffer dtype mismatch, expected 'double' but got 'complex double'",
        True,
    ),
    ((X, P.astype(bool)), {}, ValueError, "Buffer dtype mismatch, expected 'double' but got 'bool'", True),
    ((X.reshape(1, 2), P), {}, ValueError, "Buffer has wrong number of dimensions (expected 1, got 2)", True),
    ((X, np.array(1.0)), {}, ValueError, "Buffer has wrong number of dimensions (expected 1, got 0)", True),
    ((X.astype(">f8"), P), {}, ValueError, "Big-endian buffer not supported on little-endian compiler", True),
]


@pytest.mark.parametrize(("args", "kwargs", "exception", "message", "adds_entry"), REFUSALS)
@pytest.mark.parametrize("function", FUNCTIONS)
def test_refusals(function, args, kwargs, exception, message, adds_entry):
    with pytest.raises(exception) as raised:
        function(*args, **kwargs)
    assert str(raised.value) == message.format(name=function.__name__)
    assert (f"{gaussian.__name__}.{function.__name__}" in traceback_names(raised.value)) == adds_entry


class FakeNumpy:
    """Stands in for the module attribute `np`: records the attributes read and the calls of its zeros, which
    returns `made(args)`."""

    def __init__(self, made):
        self.made, self.reads, self.calls = made, [], []

    def __getattr__(self, name):  # reached only for names the instance lacks: zeros, float64 and the like
        self.reads.append(name)
        if name == "float64":
            return np.float64
        if name == "zeros":
            return self.recorded_zeros
        raise AttributeError(name)

    def recorded_zeros(self, *args, **kwargs):
        self.calls.append((args, kwargs))
        return self.made(args)


@pytest.fixture
def rebind_np(monkeypatch):
    def rebind(made):
        fake = FakeNumpy(made)
        monkeypatch.setattr(gaussian, "np", fake)
        return fake

    return rebind


def test_result_is_made_by_np_zeros_looked_up_at_each_call(rebind_np):
    x, params = np.array([0.0, 1.0, 2.0]), np.array([2.0, 1.0, 1.0, 5.0])
    fake = rebind_np(lambda args: np.zeros(*args))
    multi_gaussian_cy(x, params)
    assert (fake.reads, fake.calls) == (["zeros", "float64"], [((3,), {"dtype": np.float64})])
    fake = rebind_np(lambda args: np.zeros(*args))
    multi_gaussian_jacobian_cy(x, params)
    assert (fake.reads, fake.calls) == (["zeros"], [(((3, 4),), {})])


# Asked for (3,) by the model and (3, 4) by the Jacobian, a rebound np.zeros returns `made` instead.
SHAPE_MISMATCHES = [
    (multi_gaussian_cy, "(3,)", None),
    (multi_gaussian_cy, "(3,)", np.zeros(2)),
    (multi_gaussian_cy, "(3,)", np.zeros(4)),
    (multi_gaussian_jacobian_cy, "(3, 4)", None),
    (multi_gaussian_jacobian_cy, "(3, 4)", np.zeros((2, 4))),
    (multi_gaussian_jacobian_cy, "(3, 4)", np.zeros((4, 4))),
    (multi_gaussian_jacobian_cy, "(3, 4)", np.zeros((3, 3))),
    (multi_gaussian_jacobian_cy, "(3, 4)", np.zeros((3, 5))),
]

RESULT_REFUSALS = [
    (multi_gaussian_cy, [0.0] * 3, TypeError, "Cannot convert list to numpy.ndarray"),
    (
        multi_gaussian_cy,
        np.zeros(3, np.float32),
        ValueError,
        "Buffer dtype mismatch, expected 'double' but got 'float'",
    ),
    (multi_gaussian_cy, np.zeros((3, 1)), ValueError, "Buffer has wrong number of dimensions (expected 1, got 2)"),
    (multi_gaussian_jacobian_cy, np.zeros(12), ValueError, "Buffer has wrong number of dimensions (expected 2, got 1)"),
    (multi_gaussian_jacobian_cy, (0.0,), TypeError, "Cannot convert tuple to numpy.ndarray"),
    (multi_gaussian_cy, read_only(np.zeros(3)), ValueError, "buffer source array is read-only"),
]


def call_with_rebound_np(rebind_np, function, made):
    rebind_np(lambda args: made)
    return function(np.array([0.0, 1.0, 2.0]), np.array([2.0, 1.0, 1.0, 5.0]))


@pytest.mark.parametrize(("function", "shape", "made"), SHAPE_MISMATCHES)
def test_result_of_another_shape_is_refused_before_any_write(rebind_np, function, shape, made):
    with pytest.raises(ValueError) as raised:
        call_with_rebound_np(rebind_np, function, made)
    assert str(raised.value) == f"expected np.zeros to return an array of shape {shape}"
    assert f"{gaussian.__name__}.{function.__name__}" in traceback_names(raised.value)
    if made is not None:
        assert not made.any()


@pytest.mark.parametrize(("function", "made", "exception", "message"), RESULT_REFUSALS)
def test_result_that_is_no_float64_array_is_refused(rebind_np, function, made, exception, message):
    with pytest.raises(exception) as raised:
        call_with_rebound_np(rebind_np, function, made)
    assert str(raised.value) == message
    assert f"{gaussian.__name__}.{function.__name__}" in traceback_names(raised.value)


# Results of the right shape that np.zeros does not make: views and other memory orders are written through
# their strides.
OTHER_RESULTS = {
    "every second row": lambda shape: np.zeros((2 * shape[0],) + shape[1:])[::2],
    "reversed": lambda shape: np.zeros(shape)[::-1],
    "column-major": lambda shape: np.zeros(shape, order="F"),
    "transposed": lambda shape: np.zeros(shape[::-1]).T,
    "subclass": lambda shape: np.zeros(shape).view(type("Result", (np.ndarray,), {})),
}


@pytest.mark.parametrize("make", OTHER_RESULTS.values(), ids=OTHER_RESULTS.keys())
@pytest.mark.parametrize(("function", "shape"), [(multi_gaussian_cy, (3,)), (multi_gaussian_jacobian_cy, (3, 4))])
def test_result_in_other_layouts_is_filled_in_place(rebind_np, function, shape, make):
    made = make(shape)
    x, params = np.array([0.0, 1.0, 2.0]), np.array([2.0, 1.0, 1.0, 5.0])
    expected = function(x, params)
    rebind_np(lambda args: made)
    assert function(x, params) is made
    assert_same_bits(np.array(made), expected)


def test_result_that_numpy_warns_about_writing_is_not_written_silently(rebind_np):
    rebind_np(lambda args: np.broadcast_arrays(np.zeros((1, 4)), np.zeros((3, 4)))[0])
    with warnings.catch_warnings(), pytest.raises((DeprecationWarning, ValueError)):
        warnings.simplefilter("error")
        multi_gaussian_jacobian_cy(np.array([0.0, 1.0, 2.0]), np.array([2.0, 1.0, 1.0, 5.0]))


@pytest.mark.parametrize("function", FUNCTIONS)
def test_none_from_np_zeros_is_refused_for_empty_results_too(rebind_np, function):
    rebind_np(lambda args: None)
    with pytest.raises(ValueError, match="expected np.zeros to return an array of shape"):
        function(None, None)


def module_with(**attributes):
    module = types.ModuleType("fake_numpy")
    module.__dict__.update(attributes)
    return module


# np rebound to a module: its attributes come from its namespace or from its module-level __getattr__.
NP_MODULES = {
    "namespace": module_with(zeros=np.zeros, float64=np.float64),
    "module __getattr__": module_with(__getattr__=lambda name: getattr(np, name)),
}


@pytest.mark.parametrize("module", NP_MODULES.values(), ids=NP_MODULES.keys())
@pytest.mark.parametrize("function", FUNCTIONS)
def test_np_may_be_another_module(monkeypatch, function, module):
    x, params = np.array([0.0, 1.0, 2.0]), np.array([2.0, 1.0, 1.0])
    expected = function(x, params)
    monkeypatch.setattr(gaussian, "np", module)
    assert_same_bits(function(x, params), expected)


@pytest.mark.parametrize("function", FUNCTIONS)
def test_np_without_zeros_raises_its_attribute_error(monkeypatch, function):
    monkeypatch.setattr(gaussian, "np", module_with(float64=np.float64))
    with pytest.raises(AttributeError, match="^module 'fake_numpy' has no attribute 'zeros'$"):
        function(X, P)


@pytest.mark.parametrize("function", FUNCTIONS)
def test_missing_np_is_a_name_error(monkeypatch, function):
    monkeypatch.delattr(gaussian, "np")
    with pytest.raises(NameError, match="^name 'np' is not defined$"):
        function(X, P)
