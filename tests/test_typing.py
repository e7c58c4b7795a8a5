"""The typed API: the stubs and the py.typed marker are installed, declare what the modules hold, and let
mypy --strict check a user's code."""

import ast
import importlib
import inspect
import pathlib
import runpy
import subprocess
import sys

import pytest

import tavmir
import tavmir.utils.numerics.native as native

TESTS = pathlib.Path(__file__).resolve().parent
USAGE = TESTS / "typed_usage.py"
MODULES = ["vosterin", "rebin", "gaussian"]
STUBS = pathlib.Path(native.__file__).parent
MYPY_CACHE = TESTS.parent / ".mypy_cache"


def run_mypy(arguments, cwd):
    """Runs mypy outside the source tree, so that it reads the installed package."""
    result = subprocess.run(
        [sys.executable, "-P", "-m", "mypy", *arguments], cwd=cwd, capture_output=True, text=True, timeout=300
    )
    assert result.returncode == 0, result.stdout + result.stderr


def test_stubs_and_marker_are_installed_beside_the_modules():
    package = pathlib.Path(tavmir.__file__).parent
    assert (package / "py.typed").is_file()
    assert sorted(path.name.split(".")[0] for path in STUBS.glob("*.so")) == sorted(MODULES)
    assert sorted(path.stem for path in STUBS.glob("*.pyi")) == sorted(MODULES)
    assert not [path for path in package.rglob("*") if path.suffix in (".cpp", ".hpp")]


@pytest.mark.parametrize("name", MODULES)
def test_each_stub_declares_the_functions_of_its_module_with_their_parameters(name):
    module = importlib.import_module(f"tavmir.utils.numerics.native.{name}")
    stub = ast.parse((STUBS / f"{name}.pyi").read_text())
    declared = {
        function.name: [argument.arg for argument in function.args.args]
        for function in stub.body
        if isinstance(function, ast.FunctionDef)
    }
    public = {
        attribute: list(inspect.signature(value).parameters)
        for attribute, value in vars(module).items()
        if callable(value) and not attribute.startswith("_")
    }
    assert declared == public


def test_mypy_strict_accepts_the_usage_and_the_demo(tmp_path):
    mypy = ["--strict", "--config-file", str(TESTS.parent / "pyproject.toml"), "--cache-dir", str(MYPY_CACHE)]
    run_mypy([*mypy, str(USAGE)], tmp_path)
    run_mypy([*mypy, "--package", "tavmir.demo"], tmp_path)  # its annotations are what the usage relies on


def test_the_usage_runs():
    runpy.run_path(str(USAGE))
