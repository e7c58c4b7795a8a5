"""Random wrong calls of the four public functions: any mix of positional and keyword arguments, with names right
or wrong, and objects of every kind (None, numbers, strings, sequences, bytes, bytearrays, memoryviews of any
format, NumPy arrays of any dtype, shape, byte order and strides, 0-d arrays, array.array, ctypes arrays,
exporters written in Python, the modules' own view objects), now and then with `np` rebound. Each call must
return or raise a Python exception, and afterwards nothing may hold a reference to or a buffer of any object
passed.

Run as a program of its own (test_wrong_calls.py does), so that a crash ends only this process. Before each call
it prints the call, so the last line printed before a crash is the call that crashed."""

import array
import ctypes
import struct
import sys
import types
from dataclasses import dataclass

import numpy as np
from hypothesis import given, reject, settings
from hypothesis import strategies as st

import conftest  # noqa: F401 - loads the hypothesis profile the test run uses
from tavmir.utils.numerics.native import gaussian, rebin, vosterin
from vector_call import vectorcall

try:
    import _testbuffer
except ImportError:  # an interpreter built without its test modules
    _testbuffer = None

# Each function's module and parameters.
FUNCTIONS = {
    "vosterin_peak_search_cy": (vosterin, ["y_d2"]),
    "rebin_histogram_cy": (rebin, ["energy_axis", "count_axis", "new_energy_axis"]),
    "multi_gaussian_cy": (gaussian, ["x", "params"]),
    "multi_gaussian_jacobian_cy": (gaussian, ["x", "params"]),
}
PARAMETER_NAMES = sorted({name for _, parameters in FUNCTIONS.values() for name in parameters})


class Subclass(np.ndarray):
    pass


class DoubleRecord(ctypes.Structure):
    _fields_ = [("value", ctypes.c_double)]


class KeywordName(str):
    """A keyword name that equals a parameter's name in text only."""

    def __repr__(self):
        return f"KeywordName({str(self)!r})"


# Objects that are not built from parts, by the expression that makes them.
OTHER_OBJECTS = {
    "None": lambda: None,
    "0": lambda: 0,
    "-1": lambda: -1,
    "2**70": lambda: 2**70,
    "1.5": lambda: 1.5,
    "float('nan')": lambda: float("nan"),
    "1j": lambda: 1j,
    "'abc'": lambda: "abc",
    "'x'": lambda: "x",
    "''": lambda: "",
    "b''": lambda: b"",
    "bytes(16)": lambda: bytes(16),
    "bytearray(16)": lambda: bytearray(16),
    "bytearray()": lambda: bytearray(),
    "[1.0, 2.0, 3.0]": lambda: [1.0, 2.0, 3.0],
    "(1.0, 2.0)": lambda: (1.0, 2.0),
    "{}": lambda: {},
    "object()": lambda: object(),
    "range(3)": lambda: range(3),
    "np.ndarray": lambda: np.ndarray,
    "np.float64(1.5)": lambda: np.float64(1.5),
    "np.float32(1.5)": lambda: np.float32(1.5),
    "np.ma.masked_array([1.0, 2.0, 3.0])": lambda: np.ma.masked_array([1.0, 2.0, 3.0]),
    "(c_double * 3)()": lambda: (ctypes.c_double * 3)(),
    "(c_double * 0)()": lambda: (ctypes.c_double * 0)(),
    "(c_float * 3)()": lambda: (ctypes.c_float * 3)(),
    "(c_int64 * 3)()": lambda: (ctypes.c_int64 * 3)(),
    "(c_double * 2 * 3)()": lambda: (ctypes.c_double * 2 * 3)(),
    "c_double(1.5)": lambda: ctypes.c_double(1.5),
    "(DoubleRecord * 3)()": lambda: (DoubleRecord * 3)(),
    "(c_char * 8)()": lambda: (ctypes.c_char * 8)(),
}


@dataclass(frozen=True)
class Other:
    expression: str

    def build(self):
        return OTHER_OBJECTS[self.expression]()


# Doubles, which pass the most checks, more often than any other.
DTYPES = ["f8", "f8", "f8", "<f8", ">f8", "f4", "f2", "g", "i8", "u8", "u1", "b1", "c16", "c8", "O", "S3", "U2", "V8",
          "M8[s]", "m8[s]", "f8,u1", "u1,f8", "(2,)f8", "T"]


@dataclass(frozen=True)
class NdArray:
    """np.zeros(shape, dtype, order), every `step`-th row of a larger one, or from an odd byte offset."""

    dtype: str
    shape: tuple
    order: str
    step: int
    misaligned: bool
    read_only: bool
    subclass: bool

    def build(self):
        dtype = np.dtype(self.dtype)
        step = self.step if self.shape else 1
        shape = (self.shape[0] * abs(step),) + self.shape[1:] if self.shape else ()
        if self.misaligned:
            if dtype.hasobject or dtype.itemsize == 0 or dtype.subdtype:
                reject()  # no array of these can be made from bytes
            raw = np.zeros(int(np.prod(shape)) * dtype.itemsize + 1, np.uint8)
            base = raw[1:].view(dtype).reshape(shape)
        else:
            base = np.zeros(shape, dtype, order=self.order)
        made = base[::step] if self.shape else base
        made.flags.writeable = not self.read_only
        return made.view(Subclass) if self.subclass else made


@dataclass(frozen=True)
class ArrayArray:
    typecode: str
    length: int

    def build(self):
        return array.array(self.typecode, bytes(self.length * array.array(self.typecode).itemsize))


@dataclass(frozen=True)
class MemoryView:
    """A memoryview of `length` items of `format` over bytes or a bytearray, cast to two rows or taking every
    `step`-th item."""

    format: str
    length: int
    two_rows: bool
    step: int
    over_bytearray: bool

    def build(self):
        itemsize = memoryview(bytes(8)).cast(self.format).itemsize
        source = (bytearray if self.over_bytearray else bytes)(itemsize * self.length)
        if self.two_rows:
            if self.length == 0 or self.length % 2:
                reject()  # memoryview makes no such cast
            return memoryview(source).cast(self.format, (2, self.length // 2))
        return memoryview(source).cast(self.format)[:: self.step]


# Formats a test exporter is asked to give, with one item of that format.
TEST_BUFFER_FORMATS = {
    "d": 1.0, "<d": 1.0, "=d": 1.0, "@d": 1.0, " d": 1.0, ">d": 1.0, "!d": 1.0, "2d": (1.0, 2.0), "dd": (1.0, 2.0),
    "dq": (1.0, 2), "f": 1.0, "e": 1.0, "q": 1, "B": 1, "?": True, "xd": 1.0,
}


@dataclass(frozen=True)
class TestBuffer:
    """CPython's test exporter: `length` items of `format` in one dimension (every second one, or reversed), in
    two, or as a scalar, with the given flags."""

    format: str
    length: int
    layout: str
    flags: int

    def build(self):
        item = TEST_BUFFER_FORMATS[self.format]
        items = [item] * self.length
        try:
            if self.layout == "scalar":
                flags = self.flags | _testbuffer.ND_SCALAR
                return _testbuffer.ndarray(item, shape=[], format=self.format, flags=flags)
            if self.layout == "two rows":
                return _testbuffer.ndarray(items * 2, shape=[2, self.length], format=self.format, flags=self.flags)
            itemsize = _testbuffer.ndarray([item], shape=[1], format=self.format).itemsize
            if self.layout == "every second":
                return _testbuffer.ndarray(items * 2, shape=[self.length], strides=[2 * itemsize],
                                           format=self.format, flags=self.flags)
            if self.layout == "reversed":
                return _testbuffer.ndarray(items, shape=[self.length], strides=[-itemsize],
                                           offset=max(self.length - 1, 0) * itemsize, format=self.format,
                                           flags=self.flags)
            return _testbuffer.ndarray(items, shape=[self.length], format=self.format, flags=self.flags)
        except (TypeError, ValueError, struct.error):  # a combination the test exporter does not make
            reject()


class Exporter:
    """An exporter written in Python: its buffer is that of `inner`; it counts the buffers it has given out and
    not yet been given back, and misbehaves as `behaviour` says."""

    def __init__(self, inner, behaviour):
        self.inner, self.behaviour, self.held = inner, behaviour, 0

    def __buffer__(self, flags):
        if self.behaviour == "raises in __buffer__":
            raise RuntimeError("no buffer today")
        if self.behaviour == "returns no memoryview":
            return 1
        view = memoryview(self.inner)
        self.held += 1
        return view

    def __release_buffer__(self, view):
        self.held -= 1
        view.release()
        if self.behaviour == "raises in __release_buffer__":
            raise RuntimeError("release refused")


EXPORTER_CONTENTS = {
    "np.arange(5.0)": lambda: np.arange(5.0),
    "np.arange(5.0)[::-2]": lambda: np.arange(5.0)[::-2],
    "np.zeros(3, 'f4')": lambda: np.zeros(3, "f4"),
    "np.zeros((2, 2))": lambda: np.zeros((2, 2)),
}


@dataclass(frozen=True)
class PythonExporter:
    contents: str
    behaviour: str

    def build(self):
        return Exporter(EXPORTER_CONTENTS[self.contents](), self.behaviour)


def vosterin_view_object(y):
    """The read-only view object vosterin hands to np.zeros_like for `y`, caught by a stand-in for `np`."""
    caught = []

    def zeros_like(view, dtype):
        caught.append(view)
        return np.zeros_like(view, dtype=dtype)

    vosterin.np = types.SimpleNamespace(zeros_like=zeros_like, float64=np.float64)
    try:
        vosterin.vosterin_peak_search_cy(y)
    finally:
        vosterin.np = np
    return caught[0]


@dataclass(frozen=True)
class ViewObject:
    """A view object of a module, over `length` doubles. rebin's (writable) comes out of a result, as the object of
    its memoryview; `form` says whether to pass that view object, the memoryview or the result. vosterin's
    (read-only, over every `step`-th element) is caught on its way to np.zeros_like."""

    module: str
    length: int
    step: int
    form: str

    def build(self):
        if self.module == "vosterin":
            return vosterin_view_object(np.arange(float(self.length * abs(self.step)))[:: self.step])
        result = rebin.rebin_histogram_cy(None, None, np.zeros(self.length + 1))
        return {"view object": result.base.obj, "memoryview": result.base, "result": result}[self.form]


def refuse(*args, **kwargs):
    raise RuntimeError("np refuses")


@dataclass(frozen=True)
class Numpy:
    """What the module's `np` is during the call: NumPy; missing; a namespace without attributes; one whose zeros
    and zeros_like raise; or one whose zeros and zeros_like return object `returns` of the call."""

    kind: str
    returns: int

    def stand_in(self, objects):
        """What takes the place of NumPy, or None for nothing at all."""
        if self.kind == "numpy":
            return np
        if self.kind == "empty":
            return types.SimpleNamespace()
        if self.kind == "raising":
            return types.SimpleNamespace(zeros=refuse, zeros_like=refuse, float64=np.float64, asarray=refuse)
        if self.kind == "returning":
            made = objects[self.returns]
            return types.SimpleNamespace(
                zeros=lambda *args, **kwargs: made,
                zeros_like=lambda *args, **kwargs: made,
                float64=np.float64,
                asarray=np.asarray,
            )
        return None


@dataclass(frozen=True)
class Call:
    """A call of `function` with objects made from `objects`, chosen by index: from Python (keyword names are
    unique strings there) or through the C vector call protocol."""

    function: str
    objects: tuple
    positional: tuple
    keywords: tuple
    numpy: Numpy
    vector_call: bool

    def __str__(self):
        arguments = [f"#{index}" for index in self.positional]
        arguments += [f"{name!r}=#{index}" for name, index in self.keywords]
        objects = "; ".join(f"#{index} = {recipe}" for index, recipe in enumerate(self.objects))
        protocol = "by vector call" if self.vector_call else "from Python"
        return f"{self.function}({', '.join(arguments)}) {protocol} with np {self.numpy}, where {objects}"

    def make(self, function, objects):
        """Calls `function` with the objects as the call says."""
        positional = [objects[index] for index in self.positional]
        if self.vector_call:
            names = tuple(name for name, _ in self.keywords)
            return vectorcall(function, positional, names or None, [objects[index] for _, index in self.keywords])
        return function(*positional, **{name: objects[index] for name, index in self.keywords})


def check(call):
    """Makes the call's objects, calls, and checks that it returned or raised and left every object as it found
    it: the same number of references, no buffer held (exporters that count their buffers, or refuse to resize
    or release while one is out, are asked)."""
    objects = [recipe.build() for recipe in call.objects]
    module, _ = FUNCTIONS[call.function]
    stand_in = call.numpy.stand_in(objects)  # kept until the references are counted: it may hold an object
    if stand_in is None:
        del module.np
    else:
        module.np = stand_in
    references = [sys.getrefcount(made) for made in objects]
    try:
        result = call.make(getattr(module, call.function), objects)
    except Exception:  # noqa: BLE001 - any exception is an allowed outcome; only a crash is not
        result = None
    finally:
        module.np = np
    del result
    after = [sys.getrefcount(made) for made in objects]
    assert after == references, f"references before {references}, after {after}"
    del stand_in
    while objects:
        assert_nothing_held(objects.pop())


def assert_nothing_held(made):
    """Asks the exporters that can tell whether a buffer of theirs is still out."""
    if isinstance(made, Exporter):
        assert made.held == 0, f"{made.held} buffers of the exporter not given back"
    elif type(made) is np.ndarray and made.base is None and made.flags.owndata and made.flags.writeable:
        # Refuses while anything else refers to the array. (NumPy leaves the new elements of a read-only
        # array of strings (dtype 'T') unset, and frees garbage later, so only writable arrays are resized.)
        made.resize(made.size + 1, refcheck=True)
    elif isinstance(made, bytearray):
        made.extend(b"\0")  # refuses while a buffer is exported
    elif isinstance(made, array.array):
        made.frombytes(bytes(made.itemsize))  # refuses while a buffer is exported
    elif isinstance(made, memoryview):
        source = made.obj
        made.release()  # refuses while a buffer is exported
        if isinstance(source, bytearray):
            source.extend(b"\0")


sizes = st.integers(0, 5)


def recipes():
    """Recipes for every kind of object a call passes."""
    ndarrays = st.builds(
        NdArray,
        dtype=st.sampled_from(DTYPES),
        shape=st.tuples(sizes) | st.lists(sizes, max_size=3).map(tuple),
        order=st.sampled_from("CF"),
        step=st.sampled_from([1, 1, 2, -1, -3]),
        misaligned=st.booleans(),
        read_only=st.booleans(),
        subclass=st.booleans(),
    )
    kinds = [
        st.builds(Other, st.sampled_from(sorted(OTHER_OBJECTS))),
        ndarrays,
        ndarrays,
        st.builds(ArrayArray, st.sampled_from("bBhHiIlLqQfdw"), sizes),
        st.builds(
            MemoryView,
            format=st.sampled_from("dfqQiIhHbB?ceP"),
            length=sizes,
            two_rows=st.booleans(),
            step=st.sampled_from([1, 2, -1]),
            over_bytearray=st.booleans(),
        ),
        st.builds(PythonExporter, st.sampled_from(sorted(EXPORTER_CONTENTS)), st.sampled_from(
            ["well-behaved", "raises in __buffer__", "returns no memoryview", "raises in __release_buffer__"])),
        st.builds(ViewObject, st.sampled_from(["rebin", "vosterin"]), sizes, st.sampled_from([1, -2]),
                  st.sampled_from(["view object", "memoryview", "result"])),
    ]
    if _testbuffer is not None:
        flags = st.sets(st.sampled_from(["ND_WRITABLE", "ND_FORTRAN", "ND_PIL", "ND_GETBUF_FAIL"])).map(
            lambda names: sum(getattr(_testbuffer, name) for name in names)
        )
        kinds.append(st.builds(TestBuffer, st.sampled_from(sorted(TEST_BUFFER_FORMATS)), sizes,
                               st.sampled_from(["plain", "every second", "reversed", "two rows", "scalar"]), flags))
    return st.one_of(kinds)


any_object = recipes()
keyword_names = st.one_of(
    st.sampled_from(PARAMETER_NAMES),
    st.sampled_from(PARAMETER_NAMES).map(KeywordName),
    st.text(max_size=3),
)
# Only C callers can pass these.
odd_keyword_names = keyword_names | st.sampled_from([1, None, b"x", ("x",)])
numpy_kinds = st.sampled_from(["numpy", "numpy", "missing", "empty", "raising", "returning"])


@st.composite
def calls(draw):
    """Mostly calls that give each parameter one value, by position or by name, so that the arguments reach the
    checks after binding; otherwise any mix of positional arguments and keywords, with names that only C callers
    can pass (not strings, or twice the same) when by vector call."""
    function = draw(st.sampled_from(sorted(FUNCTIONS)))
    _, parameters = FUNCTIONS[function]
    objects = tuple(draw(st.lists(any_object, min_size=1, max_size=4)))
    index = st.integers(0, len(objects) - 1)
    vector_call = draw(st.booleans())
    if draw(st.integers(0, 9)) < 8:
        by_position = draw(st.integers(0, len(parameters)))
        positional = tuple(draw(st.lists(index, min_size=by_position, max_size=by_position)))
        names = draw(st.permutations(parameters[by_position:]))
        keywords = tuple((name, draw(index)) for name in names)
    else:
        positional = tuple(draw(st.lists(index, max_size=4)))
        if vector_call:
            keywords = tuple(draw(st.lists(st.tuples(odd_keyword_names, index), max_size=3)))
        else:
            unique = st.lists(st.tuples(keyword_names, index), max_size=3, unique_by=lambda keyword: str(keyword[0]))
            keywords = tuple(draw(unique))
    numpy = Numpy(draw(numpy_kinds), draw(index))
    return Call(function, objects, positional, keywords, numpy, vector_call)


# A call takes a few milliseconds and the space of wrong calls is wide: five times the profile's examples.
@settings(max_examples=5 * settings.default.max_examples)
@given(calls())
def check_wrong_calls(call):
    print(call, flush=True)
    check(call)


if __name__ == "__main__":
    # An exporter that raises in __release_buffer__ has its exception reported as unraisable; that is expected.
    sys.unraisablehook = lambda unraisable: None
    check_wrong_calls()
