"""The typed API as a user calls it. `mypy --strict` accepts this file, and it runs: the keyword names the
stubs declare are the ones the modules take."""

import array
from concurrent.futures import Executor
from typing import assert_type

import numpy as np
from numpy.typing import NDArray

from tavmir.demo.analysis import Analysis, analyse
from tavmir.demo.fit import Peak
from tavmir.demo.spectrum import Spectrum, simulated_spectrum
from tavmir.demo.spectrum_file import read_spectrum
from tavmir.utils.numerics.native.gaussian import multi_gaussian_cy, multi_gaussian_jacobian_cy
from tavmir.utils.numerics.native.rebin import rebin_histogram_cy
from tavmir.utils.numerics.native.vosterin import vosterin_peak_search_cy

Array = NDArray[np.float64]

x = np.linspace(0.0, 10.0, 21)
params = np.array([5.0, 4.0, 1.5, 2.0, 7.0, 0.5])

S, F = vosterin_peak_search_cy(y_d2=array.array("d", [1.0, 4.0, 9.0, 4.0, 1.0]))
assert_type(S, Array)
assert_type(F, Array)
assert_type(vosterin_peak_search_cy(x[::-2]), tuple[Array, Array])

counts = rebin_histogram_cy(energy_axis=x, count_axis=np.ones(20), new_energy_axis=np.linspace(0.0, 10.0, 6))
assert_type(counts, Array)
assert_type(rebin_histogram_cy(None, None, x), Array)

assert_type(multi_gaussian_cy(x=x, params=params), Array)
assert_type(multi_gaussian_jacobian_cy(x=x, params=params), Array)
assert_type(multi_gaussian_cy(None, params), Array)

analysis = analyse(simulated_spectrum(seed=1), threshold=5.0, bin_width=1.0, peak_width=2.0)
assert_type(analysis, Analysis)
assert_type(analysis.peaks, list[Peak])
assert_type(analysis.peaks[0].centre if analysis.peaks else 0.0, float)


def analyse_all(spectra: list[Spectrum], pool: Executor) -> list[Analysis]:
    return list(pool.map(analyse, spectra))


def calls_that_fail_at_run_time() -> None:
    """Never called. Each call raises when run, and the checker refuses it: under --strict an ignore comment
    that silences nothing is itself an error."""
    float32 = x.astype(np.float32)
    vosterin_peak_search_cy(None)  # type: ignore[arg-type]
    vosterin_peak_search_cy([1.0, 2.0, 3.0])  # type: ignore[arg-type]
    rebin_histogram_cy(x, x)  # type: ignore[call-arg]
    rebin_histogram_cy(x, x, None)  # type: ignore[arg-type]
    multi_gaussian_cy([0.0, 1.0], params)  # type: ignore[arg-type]
    multi_gaussian_cy(x, float32)  # type: ignore[arg-type]
    multi_gaussian_jacobian_cy(x, parameters=params)  # type: ignore[call-arg]
    read_spectrum(3)  # type: ignore[arg-type]
