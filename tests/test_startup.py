"""Loading a module: one module object per process, NumPy bound at start-up, public functions made there."""

import ctypes
import importlib
import inspect
import pickle
import sys
import types

import numpy as np
import pytest

from subprocess_python import run_python
from tavmir.utils.numerics.native import vosterin

MODULE = "tavmir.utils.numerics.native.vosterin"


def test_namespace_holds_np_and_the_public_function():
    assert vosterin.np is sys.modules["numpy"]
    assert vosterin.__doc__ is None
    public = {name for name in vars(vosterin) if not name.startswith("__")}
    assert public == {"np", "vosterin_peak_search_cy"}


def test_function_object_attributes():
    f = vosterin.vosterin_peak_search_cy
    assert (f.__name__, f.__qualname__, f.__module__, f.__doc__) == (
        "vosterin_peak_search_cy",
        "vosterin_peak_search_cy",
        MODULE,
        None,
    )
    parameters = list(inspect.signature(f).parameters.values())
    assert [(p.name, p.kind, p.default) for p in parameters] == [
        ("y_d2", inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.empty)
    ]


def test_function_pickles_by_reference():
    f = vosterin.vosterin_peak_search_cy
    assert pickle.loads(pickle.dumps(f)) is f


def test_reimport_and_reload_give_the_same_module(monkeypatch):
    function = vosterin.vosterin_peak_search_cy
    monkeypatch.delitem(sys.modules, MODULE)
    again = importlib.import_module(MODULE)
    assert again is vosterin
    namespace = dict(vars(vosterin))
    assert importlib.reload(vosterin) is vosterin
    assert vars(vosterin) == namespace
    assert vosterin.vosterin_peak_search_cy is function


def test_exec_on_a_second_module_object_is_refused():
    library = ctypes.CDLL(vosterin.__file__)  # the loaded library again, with its process-wide state
    library.PyInit_vosterin.restype = ctypes.c_void_p
    definition = library.PyInit_vosterin()
    exec_def = ctypes.pythonapi.PyModule_ExecDef
    exec_def.argtypes = [ctypes.py_object, ctypes.c_void_p]
    exec_def.restype = ctypes.c_int
    with pytest.raises(RuntimeError) as refused:
        exec_def(types.ModuleType(MODULE), definition)
    assert str(refused.value) == (
        "Module 'vosterin' has already been imported. Re-initialisation is not supported."
    )
    assert refused.value.__traceback__.tb_next is None  # no entry of the module's own
    assert importlib.import_module(MODULE) is vosterin
    assert vosterin.vosterin_peak_search_cy(np.zeros(3))[0].shape == (3,)


def test_second_interpreter_is_refused(tmp_path):
    out = run_python(
        f"""
        import _interpreters
        import {MODULE}
        interpreter = _interpreters.create("legacy")
        failure = _interpreters.run_string(interpreter, "import {MODULE}")
        _interpreters.destroy(interpreter)
        print(failure.type.__name__)
        print(failure.msg)
        """,
        tmp_path,
    )
    assert out.splitlines() == [
        "ImportError",
        "Interpreter change detected - this module can only be loaded into one interpreter per process.",
    ]


FAKE_NUMPY = """
import ctypes, sys, types

# A stand-in for NumPy's extension module whose C-API table reports ABI 2.0 but feature version 16, one
# below the level the modules are built for.
table = (ctypes.c_void_p * 256)()
version = ctypes.CFUNCTYPE(ctypes.c_uint)
callbacks = {0: version(lambda: 0x02000000), 211: version(lambda: 16),
             210: ctypes.CFUNCTYPE(ctypes.c_int)(lambda: 1)}
for slot, callback in callbacks.items():
    table[slot] = ctypes.cast(callback, ctypes.c_void_p)
new_capsule = ctypes.pythonapi.PyCapsule_New
new_capsule.restype = ctypes.py_object
new_capsule.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p]
real = {name: sys.modules.pop(name) for name in list(sys.modules) if name.split(".")[0] == "numpy"}
for name in ["numpy", "numpy._core", "numpy._core._multiarray_umath"]:
    sys.modules[name] = types.ModuleType(name)
sys.modules["numpy._core._multiarray_umath"]._ARRAY_API = new_capsule(ctypes.addressof(table), None, None)
"""


def test_numpy_with_too_old_c_api_is_refused_and_a_later_import_starts_afresh(tmp_path):
    out = run_python(
        FAKE_NUMPY
        + f"""
import traceback
try:
    import {MODULE}
except ImportError as error:
    print(str(error))
    print(error.__cause__, error.__context__)
    print([entry.name for entry in traceback.extract_tb(error.__traceback__)][-1])
for name in [name for name in sys.modules if name.split(".")[0] == "numpy"]:
    del sys.modules[name]
sys.modules.update(real)
from {MODULE} import vosterin_peak_search_cy
import numpy
print(vosterin_peak_search_cy(numpy.array([0.0, 10.0, 0.0]))[0].tolist())
""",
        tmp_path,
    )
    assert out.splitlines() == [
        "numpy.core.multiarray failed to import",
        "None None",
        f"init {MODULE}",
        "[0.0, -20.0, 0.0]",
    ]


@pytest.mark.parametrize(
    "spec_attributes, entries",
    [
        (
            {"loader": "L", "parent": None, "submodule_search_locations": None},
            {"__loader__": "L", "__package__": None, "__path__": "absent"},
        ),
        (
            {"parent": "P", "submodule_search_locations": ["somewhere"]},
            {"__loader__": None, "__package__": "P", "__path__": ["somewhere"]},
        ),
    ],
)
def test_create_copies_what_the_spec_has(tmp_path, spec_attributes, entries):
    """Present attributes are copied (None too, except for the search locations); missing ones are skipped."""
    out = run_python(
        f"""
        import _imp, importlib.util, types
        found = importlib.util.find_spec("{MODULE}")
        spec = types.SimpleNamespace(name=found.name, origin=found.origin, **{spec_attributes!r})
        module = _imp.create_dynamic(spec)
        print({{name: getattr(module, name, "absent") for name in ["__loader__", "__package__", "__path__"]}})
        print(module.__name__, module.__file__ == found.origin)
        """,
        tmp_path,
    )
    assert out.splitlines() == [str(entries), f"{MODULE} True"]
