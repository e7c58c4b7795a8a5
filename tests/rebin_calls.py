"""Checks around a call of rebin_histogram_cy that fails: what it leaves behind."""

import contextlib
import ctypes
import sys

import numpy as np

FUNCTION = "tavmir.utils.numerics.native.rebin.rebin_histogram_cy"
SOURCE = "tavmir/utils/numerics/native/rebin"

_get_buffer = ctypes.PYFUNCTYPE(ctypes.c_int, ctypes.py_object, ctypes.c_void_p, ctypes.c_int)(
    ("PyObject_GetBuffer", ctypes.pythonapi)
)
_PyBUF_WRITABLE, _PyBUF_FORMAT, _PyBUF_STRIDES = 0x0001, 0x0004, 0x0018


def writable_buffer_refusal(exporter):
    """The exception `exporter` raises itself when asked for a writable strided buffer, as the module asks for
    each argument. Only for exporters that refuse."""
    space = ctypes.create_string_buffer(256)  # room for a Py_buffer
    try:
        _get_buffer(exporter, space, _PyBUF_STRIDES | _PyBUF_FORMAT | _PyBUF_WRITABLE)
    except Exception as error:  # noqa: BLE001 - whatever the exporter raises is the expectation
        return type(error), str(error)
    raise AssertionError(f"{exporter!r} gave a writable buffer")


def assert_traceback_names_function(error):
    """The innermost traceback entry is the one the module adds, naming the function and its source."""
    entry = error.__traceback__
    while entry.tb_next is not None:
        entry = entry.tb_next
    assert entry.tb_frame.f_code.co_name == FUNCTION
    assert entry.tb_frame.f_code.co_filename == SOURCE


@contextlib.contextmanager
def left_as_they_were(*arguments):
    """Checks that the NumPy arrays among `arguments` hold the same bytes afterwards and that nothing keeps a
    reference to them: a buffer still held would, since it refers to its exporter."""
    arrays = [a for a in arguments if isinstance(a, np.ndarray)]
    before = [(a.tobytes(), sys.getrefcount(a)) for a in arrays]
    yield
    assert [(a.tobytes(), sys.getrefcount(a)) for a in arrays] == before
