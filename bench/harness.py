"""Shared pieces of the benchmarks: timing from Python, plain C++ baselines built with the package's own
compiler flags, and a table of ratios. Figures are ratios against references measured in the same run,
because absolute times drift between machines and runs."""

import ctypes
import hashlib
import os
import pathlib
import re
import subprocess
import sys
import tempfile
import timeit

ROOT = pathlib.Path(__file__).resolve().parent.parent

# Results of several megabytes are made on every call. glibc's default gives such blocks back to the system
# when they are freed and maps fresh pages for the next one, and here a page fault costs more than the
# arithmetic on the page. Kernels, NumPy and the C++ loops are therefore all timed in a process whose
# allocator keeps freed memory for reuse (blocks up to 32 MiB come from the heap, which is never trimmed).
REUSING_ALLOCATOR = {
    "MALLOC_MMAP_THRESHOLD_": str(32 * 1024 * 1024),
    "MALLOC_TRIM_THRESHOLD_": str(1 << 40),
    "MALLOC_TOP_PAD_": str(64 * 1024 * 1024),
}


def use_reusing_allocator():
    """Restarts the running script with the allocator settings above unless it already has them (glibc reads
    them only at start-up)."""
    if any(os.environ.get(name) != value for name, value in REUSING_ALLOCATOR.items()):
        os.execve(sys.executable, [sys.executable, *sys.argv], {**os.environ, **REUSING_ALLOCATOR})


def seconds_per_call(function, *, budget=0.2, repeat=5):
    """The best time per call of `function()` over `repeat` rounds, each about `budget` seconds long."""
    timer = timeit.Timer(function)
    number, elapsed = timer.autorange()
    number = max(1, int(number * budget / max(elapsed, 1e-9)))
    return min(timer.repeat(repeat=repeat, number=number)) / number


def package_flags():
    """The compile options the package's modules are built with, read from CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"add_compile_options\(([^)]*)\)", text).group(1).split()


def build_baseline(name):
    """Compiles bench/<name>.cpp into a shared library with the package's flags and loads it."""
    source = ROOT / "bench" / f"{name}.cpp"
    flags = ["-std=c++20", "-shared", "-fPIC", *package_flags()]
    key = hashlib.sha256(source.read_bytes() + " ".join(flags).encode()).hexdigest()[:16]
    library = pathlib.Path(tempfile.gettempdir()) / f"tavmir-bench-{name}-{key}.so"
    if not library.exists():
        subprocess.run(["g++", *flags, str(source), "-o", str(library)], check=True)
    return ctypes.CDLL(str(library))


def pointer(array):
    return array.ctypes.data_as(ctypes.POINTER(ctypes.c_double))


def print_table(title, header, rows):
    """Prints a Markdown table: `rows` are lists of cells, floats shown as ratios."""
    print(f"\n### {title}\n")
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print("| " + " | ".join(f"{cell:.2f}x" if isinstance(cell, float) else str(cell) for cell in row) + " |")
