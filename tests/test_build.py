"""The tests run against the installed build, and each built module exports nothing but its init function."""

import pathlib
import shutil
import subprocess
import sysconfig

import pytest

import tavmir.utils.numerics.native as native

NATIVE = pathlib.Path(native.__file__).parent
MODULES = sorted(NATIVE.glob("*.so"))


def test_package_comes_from_the_installation():
    assert NATIVE.is_relative_to(sysconfig.get_paths()["purelib"]) or NATIVE.is_relative_to(
        sysconfig.get_paths()["platlib"]
    )
    assert MODULES, "no built modules installed"


@pytest.mark.skipif(shutil.which("nm") is None, reason="needs nm")
@pytest.mark.parametrize("library", MODULES, ids=lambda path: path.name.split(".")[0])
def test_only_the_init_function_is_exported(library):
    listing = subprocess.run(
        ["nm", "-D", "--defined-only", library], capture_output=True, text=True, check=True
    ).stdout
    assert [line.split()[-1] for line in listing.splitlines()] == [f"PyInit_{library.name.split('.')[0]}"]
