"""What the demo shows of an analysis: a table of the fitted peaks, and a plot of the spectrum, the candidate
regions and the fitted peaks."""

import os

import numpy as np
from matplotlib.axes import Axes
from matplotlib.figure import Figure

from tavmir.demo.analysis import Analysis
from tavmir.demo.fit import Peak

ZOOMED_WINDOWS = 6  # the first this many fitted windows get a panel of their own


def peak_table(peaks: list[Peak]) -> str:
    header = ("centre (keV)", "FWHM (keV)", "net area (counts)")
    rows = [
        (
            f"{p.centre:.3f} ± {p.centre_error:.3f}",
            f"{p.fwhm:.3f} ± {p.fwhm_error:.3f}",
            f"{p.area:.0f} ± {p.area_error:.0f}",
        )
        for p in peaks
    ]
    widths = [max(map(len, column)) for column in zip(header, *rows)]
    return "\n".join("   ".join(text.rjust(width) for text, width in zip(row, widths)) for row in [header, *rows])


def plot(analysis: Analysis, path: str | os.PathLike[str], title: str) -> None:
    """Writes a PNG: the whole spectrum on a logarithmic scale above and, below, a panel for each of the first
    fitted windows, each with the candidate regions shaded and the fitted model drawn over the counts."""
    windows = analysis.fits[:ZOOMED_WINDOWS]
    figure = Figure(figsize=(12, 8 if windows else 4.5), layout="constrained")
    if windows:
        top, bottom = figure.subfigures(2, 1, squeeze=False, height_ratios=[1.2, 1])[:, 0]
        for axes, fit in zip(bottom.subplots(1, len(windows), squeeze=False)[0], windows):
            draw(axes, analysis, fit.first, fit.end)
            axes.set_title(", ".join(f"{mu:.1f}" for mu in fit.params[1:-2:3]) + " keV", fontsize="medium")
            axes.set_xlabel("energy (keV)")
    else:
        top = figure
    overview = top.subplots()
    draw(overview, analysis, 0, len(analysis.spectrum.counts))
    for p in analysis.peaks:
        overview.annotate(
            f"{p.centre:.1f}", (p.centre, 1.0), xycoords=("data", "axes fraction"),
            rotation=90, ha="right", va="top",
        )
    overview.set(yscale="log", xlabel="energy (keV)", ylabel="counts per bin", title=title)
    overview.legend(loc="upper right")
    figure.savefig(path, format="png", dpi=100)


def draw(axes: Axes, analysis: Analysis, first: int, end: int) -> None:
    """The counts of the bins [first, end), with the candidate regions and the fitted models among them."""
    edges, counts = analysis.spectrum
    axes.stairs(counts[first:end], edges[first : end + 1], baseline=None, color="0.3", label="counts")
    for number, (a, b) in enumerate(analysis.candidates):
        if a < end and b > first:
            label = "candidates" if number == 0 else None
            axes.axvspan(edges[max(a, first)], edges[min(b, end)], color="tab:orange", alpha=0.3, label=label)
    for number, fit in enumerate(analysis.fits):
        if fit.first < end and fit.end > first:
            x = np.linspace(edges[fit.first], edges[fit.end], 20 * (fit.end - fit.first))
            axes.plot(x, fit.model(x), color="tab:red", label="fitted peaks" if number == 0 else None)
