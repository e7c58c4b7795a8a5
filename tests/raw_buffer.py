"""Memoryviews over buffers described any way at all, for the descriptions no Python exporter can produce (a
format without a type code, an item size that contradicts the format)."""

import ctypes


class PyBuffer(ctypes.Structure):
    _fields_ = [
        ("buf", ctypes.c_void_p),
        ("obj", ctypes.c_void_p),
        ("len", ctypes.c_ssize_t),
        ("itemsize", ctypes.c_ssize_t),
        ("readonly", ctypes.c_int),
        ("ndim", ctypes.c_int),
        ("format", ctypes.c_char_p),
        ("shape", ctypes.POINTER(ctypes.c_ssize_t)),
        ("strides", ctypes.POINTER(ctypes.c_ssize_t)),
        ("suboffsets", ctypes.POINTER(ctypes.c_ssize_t)),
        ("internal", ctypes.c_void_p),
    ]


_from_buffer = ctypes.pythonapi.PyMemoryView_FromBuffer
_from_buffer.argtypes = [ctypes.POINTER(PyBuffer)]
_from_buffer.restype = ctypes.py_object

# What the memoryviews point into; kept for the life of the process, as nothing owns it.
_kept = []


def raw_memoryview(format, itemsize, length):
    """A writable one-dimensional memoryview of `length` items of `itemsize` bytes described by `format`."""
    memory = ctypes.create_string_buffer(max(1, itemsize * length))
    shape = (ctypes.c_ssize_t * 1)(length)
    strides = (ctypes.c_ssize_t * 1)(itemsize)
    text = ctypes.create_string_buffer(format.encode())
    _kept.extend([memory, shape, strides, text])
    description = PyBuffer(ctypes.addressof(memory), None, itemsize * length, itemsize, 0, 1,
                           ctypes.cast(text, ctypes.c_char_p), shape, strides, None, None)
    return _from_buffer(ctypes.byref(description))
