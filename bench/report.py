"""Runs every benchmark and writes the report: bench/report.md (a table of ratios, with the machine and the date
it was measured on), bench/report.png (time per element against size for each kernel, its NumPy recipe and
its plain C++ loop), and the same table into README.md between its benchmark markers."""

import datetime
import os
import pathlib
import platform
import re

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import bench_gaussian  # noqa: E402
import bench_rebin  # noqa: E402
import bench_vosterin  # noqa: E402
from harness import ROOT, keep_freed_memory  # noqa: E402

BENCH = ROOT / "bench"
REFERENCES = ["NumPy", "C++ loop"]


def machine():
    model = next((line.split(":", 1)[1].strip() for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines()
                  if line.startswith("model name")), platform.processor() or "unknown processor")
    return (f"{model}, {os.cpu_count()} cores, {platform.system()} {platform.release()}, "
            f"Python {platform.python_version()}, NumPy {np.__version__}")


def table(measurements):
    lines = ["| function | case | NumPy / kernel | kernel / C++ loop |", "|---|---|---|---|"]
    for m in measurements:
        ratios = [m.seconds["NumPy"] / m.seconds["kernel"],
                  m.seconds["kernel"] / m.seconds["C++ loop"] if "C++ loop" in m.seconds else None]
        cells = [f"{r:.2f}x" if r is not None else "" for r in ratios]
        lines.append(f"| `{m.function}` | {m.case} | {cells[0]} | {cells[1]} |")
    return "\n".join(lines)


def plot(measurements, path, stamp):
    functions = list(dict.fromkeys(m.function for m in measurements))
    figure, axes = plt.subplots(1, len(functions), figsize=(4.2 * len(functions), 3.6), squeeze=False)
    for axis, function in zip(axes[0], functions):
        # One series per implementation, over the cases that have all three (contiguous inputs).
        cases = sorted((m for m in measurements if m.function == function and "C++ loop" in m.seconds),
                       key=lambda m: m.elements)
        for name in ["kernel", *REFERENCES]:
            axis.plot([m.elements for m in cases], [m.seconds[name] / m.elements for m in cases], "o-", label=name)
        axis.set(xscale="log", yscale="log", title=function, xlabel="elements", ylabel="seconds per element")
        axis.legend(fontsize="small")
    figure.suptitle(stamp, fontsize="small")
    figure.tight_layout()
    figure.savefig(path, dpi=110)


def update_readme(text):
    readme = ROOT / "README.md"
    content = readme.read_text()
    pattern = re.compile(r"(<!-- benchmark report -->\n).*?(<!-- end of benchmark report -->)", re.S)
    readme.write_text(pattern.sub(lambda match: match.group(1) + text + "\n" + match.group(2), content))


def main():
    keep_freed_memory()
    measurements = [*bench_vosterin.measure(), *bench_rebin.measure(), *bench_gaussian.measure()]
    stamp = f"Measured {datetime.date.today().isoformat()} on {machine()}"
    report = f"{stamp}.\n\n{table(measurements)}\n"
    (BENCH / "report.md").write_text(f"# Benchmark report\n\n{report}")
    plot(measurements, BENCH / "report.png", stamp)
    update_readme(report)
    print(f"\nwrote {BENCH / 'report.md'}, {BENCH / 'report.png'} and the table in README.md")


if __name__ == "__main__":
    main()
