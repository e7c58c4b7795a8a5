"""Reading a user's spectrum: two columns, the low edge (keV) and the counts of each bin, as a text file
(whitespace-separated, `#` starts a comment) or as a `.npy` array of shape (bins, 2).

The bins must ascend; the last bin is taken to be as wide as the one before it. Every problem is reported as a
SpectrumError whose message names the file and fits on one line.
"""

import os
import warnings

import numpy as np

from tavmir.demo.spectrum import Array, Spectrum, SpectrumError


def read_spectrum(path: str | os.PathLike[str]) -> Spectrum:
    table = load_table(path)
    if table.ndim != 2 or table.shape[1] != 2:
        raise SpectrumError(f"{path}: expected two columns (bin low edge in keV, counts), got shape {table.shape}")
    if table.shape[0] < 2:
        raise SpectrumError(f"{path}: expected at least two bins, got {table.shape[0]}")
    if not np.all(np.isfinite(table)):
        raise SpectrumError(f"{path}: holds a value that is not a finite number")
    low_edges, counts = table[:, 0], table[:, 1]
    if not np.all(np.diff(low_edges) > 0):
        raise SpectrumError(f"{path}: the bin low edges do not strictly ascend")
    if np.any(counts < 0):
        raise SpectrumError(f"{path}: holds negative counts")
    edges = np.append(low_edges, 2.0 * low_edges[-1] - low_edges[-2])
    return Spectrum(edges, counts)


def load_table(path: str | os.PathLike[str]) -> Array:
    """The file's numbers as float64, in whatever shape the file has them. NumPy's warnings (an empty file,
    complex numbers) are errors here."""
    try:
        with open(path, "rb") as file, warnings.catch_warnings():
            warnings.simplefilter("error")
            if os.fspath(path).endswith(".npy"):
                table = np.load(file, allow_pickle=False)
            else:
                table = np.loadtxt(file, ndmin=2)
            return np.asarray(table, dtype=np.float64)
    except OSError as error:
        raise SpectrumError(f"{path}: {error.strerror or error}") from None
    except (ValueError, TypeError, Warning) as error:
        raise SpectrumError(f"{path}: {error}") from None
