"""Shared pieces of the benchmarks: an allocator that reuses memory, interleaved timing from Python, plain C++
baselines built with the package's own compiler flags, and what a benchmark reports.

Figures are ratios against references measured in the same run, because absolute times drift between machines
and runs. Candidates take turns in every round, so a slow spell of the machine falls on all of them alike, and
each keeps its best round."""

import ctypes
import dataclasses
import pathlib
import re
import subprocess
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent


def keep_freed_memory():
    """Lets glibc's malloc serve every size from its heap and never give freed memory back to the system.

    Results of several megabytes are made on every call; by default glibc maps fresh pages for each and unmaps
    them when freed, and a page fault here costs more than the arithmetic on the page. With this, kernels, NumPy
    and the C++ loops alike write into memory that earlier calls have touched. Returns False where the C
    library is not glibc."""
    M_TRIM_THRESHOLD, M_TOP_PAD, M_MMAP_MAX = -1, -2, -4
    mallopt = getattr(ctypes.CDLL(None), "mallopt", None)
    if mallopt is None:
        return False
    settings = [(M_MMAP_MAX, 0), (M_TRIM_THRESHOLD, 2**30), (M_TOP_PAD, 2**26)]
    return all(mallopt(option, value) == 1 for option, value in settings)


def batch(run, calls):
    """`calls` calls of `run`, as one timed unit."""

    def run_batch():
        for _ in range(calls):
            run()

    return run_batch


def best_times(batches, calls, rounds):
    """Seconds per call of each batch (of `calls` calls, or a callable that repeats its work `calls` times
    itself), the best of `rounds` rounds in which the batches take turns."""
    best = dict.fromkeys(batches, float("inf"))
    for _ in range(rounds):
        for name, run_batch in batches.items():
            start = time.perf_counter()
            run_batch()
            best[name] = min(best[name], (time.perf_counter() - start) / calls)
    return best


def package_flags():
    """The compile options the package's modules are built with, read from CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"add_compile_options\(([^)]*)\)", text).group(1).split()


def build_baseline(name):
    """Compiles bench/<name>.cpp into a shared library with the package's flags and loads it."""
    source = ROOT / "bench" / f"{name}.cpp"
    folder = pathlib.Path(tempfile.mkdtemp(prefix="tavmir-bench-"))
    library = folder / f"{name}.so"
    subprocess.run(["g++", "-std=c++20", "-shared", "-fPIC", *package_flags(), str(source), "-o", str(library)],
                   check=True)
    return ctypes.CDLL(str(library))


def pointer(array):
    return array.ctypes.data_as(ctypes.POINTER(ctypes.c_double))


@dataclasses.dataclass
class Measurement:
    """Seconds per call of one function on one input, for the kernel and its references ("NumPy", "C++ loop")."""

    function: str
    case: str
    elements: int  # the size the work grows with, for the time per element
    seconds: dict


def print_table(title, header, rows):
    """Prints a Markdown table; float cells are shown as ratios."""
    print(f"\n### {title}\n")
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print("| " + " | ".join(f"{cell:.2f}x" if isinstance(cell, float) else str(cell) for cell in row) + " |")
