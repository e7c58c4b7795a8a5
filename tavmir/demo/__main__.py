"""python -m tavmir.demo: finds and fits the peaks of a gamma-ray spectrum, the one that ships with the demo or
a file of your own, prints a table of them and plots them."""

import argparse
import math
import sys

try:
    import matplotlib  # noqa: F401
    import scipy  # noqa: F401
except ModuleNotFoundError as missing:
    sys.exit(f"python -m tavmir.demo needs {missing.name}: pip install 'tavmir[demo]'")

from tavmir.demo import analysis
from tavmir.demo.report import peak_table, plot
from tavmir.demo.spectrum import SpectrumError, simulated_spectrum
from tavmir.demo.spectrum_file import read_spectrum


def positive(text: str) -> float:
    value = float(text)
    if not 0 < value < math.inf:
        raise argparse.ArgumentTypeError(f"{text} is not a positive number")
    return value


def png(path: str) -> str:
    if not path.lower().endswith(".png"):
        raise argparse.ArgumentTypeError(f"{path} does not end in .png")
    return path


def parse_arguments() -> argparse.Namespace:
    parser = argparse.ArgumentParser(prog="python -m tavmir.demo", description=__doc__.split(": ", 1)[1])
    parser.add_argument(
        "--input", metavar="FILE", help="your spectrum: bin low edges (keV) and counts, two text columns or a .npy"
    )
    parser.add_argument(
        "--threshold", type=positive, default=analysis.THRESHOLD, metavar="SIGMAS",
        help="significance -S/F of a candidate (default %(default)g)",
    )
    parser.add_argument(
        "--bin-width", type=positive, default=analysis.BIN_WIDTH, metavar="KEV",
        help="bin width of the new energy calibration (default %(default)g keV)",
    )
    parser.add_argument(
        "--peak-width", type=positive, default=analysis.PEAK_WIDTH, metavar="KEV",
        help="FWHM expected of a peak (default %(default)g keV)",
    )
    parser.add_argument(
        "--plot", type=png, default="tavmir-peaks.png", metavar="FILE.png",
        help="where the plot goes (default %(default)s)",
    )
    return parser.parse_args()


def main() -> None:
    args = parse_arguments()
    name = args.input or "simulated spectrum"
    try:
        spectrum = read_spectrum(args.input) if args.input else simulated_spectrum()
        result = analysis.analyse(spectrum, args.threshold, args.bin_width, args.peak_width)
    except SpectrumError as error:
        sys.exit(f"error: {error}")
    print(
        f"{name}: {spectrum.counts.sum():.0f} counts in {len(spectrum.counts)} bins from {spectrum.edges[0]:g} to "
        f"{spectrum.edges[-1]:g} keV, rebinned onto {len(result.spectrum.counts)} bins of {args.bin_width:g} keV"
    )
    print(f"{len(result.peaks)} peaks fitted in {len(result.candidates)} regions above {args.threshold:g} sigma")
    if result.peaks:
        print(peak_table(result.peaks))
    try:
        plot(result, args.plot, f"{name}: {len(result.peaks)} peaks")
    except OSError as error:
        sys.exit(f"error: cannot write {args.plot}: {error.strerror or error}")
    print(f"plot: {args.plot}")


if __name__ == "__main__":
    main()
