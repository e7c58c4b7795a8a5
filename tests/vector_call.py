"""Calling through the C vector call protocol, which lets keyword names be anything, even twice the same."""

import ctypes


def vectorcall(function, positional, kwnames, values):
    """function(*positional) with `values` under the keyword names `kwnames` (a tuple of any objects)."""
    call = ctypes.pythonapi.PyObject_Vectorcall
    call.restype = ctypes.py_object
    call.argtypes = [ctypes.py_object, ctypes.POINTER(ctypes.py_object), ctypes.c_size_t, ctypes.py_object]
    args = (ctypes.py_object * (len(positional) + len(values)))(*positional, *values)
    return call(function, args, len(positional), kwnames)
