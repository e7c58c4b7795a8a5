"""Many spectra in worker processes: the kernels and the demo's functions pickle by reference, and a spawned
worker or a Dask worker computes the same bits as this process, for the kernels and for the whole analysis."""

import multiprocessing
import pathlib
import pickle
import pickletools
import runpy
import struct
from concurrent.futures import ProcessPoolExecutor

import numpy as np
import pytest

from tavmir.demo.analysis import analyse
from tavmir.demo.spectrum import simulated_spectrum
from tavmir.demo.spectrum_file import read_spectrum
from tavmir.utils.numerics.native.gaussian import multi_gaussian_cy, multi_gaussian_jacobian_cy
from tavmir.utils.numerics.native.rebin import rebin_histogram_cy
from tavmir.utils.numerics.native.vosterin import vosterin_peak_search_cy

EXAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "many_spectra.py"
SEEDS = range(6)
FUNCTIONS = [
    vosterin_peak_search_cy,
    rebin_histogram_cy,
    multi_gaussian_cy,
    multi_gaussian_jacobian_cy,
    analyse,
    simulated_spectrum,
    read_spectrum,
]


def bits(value):
    """`value` with each float and array replaced by its bytes, for a comparison to the last bit."""
    if isinstance(value, np.ndarray):
        return value.dtype.str, value.shape, value.tobytes()
    if isinstance(value, float):
        return struct.pack("d", value)
    if isinstance(value, (tuple, list)):
        return type(value).__name__, [bits(item) for item in value]
    return value


@pytest.fixture(scope="module")
def example():
    return runpy.run_path(str(EXAMPLE))


@pytest.fixture(scope="module")
def analyses_here():
    return [analyse(simulated_spectrum(seed)) for seed in SEEDS]


@pytest.mark.parametrize("function", FUNCTIONS, ids=lambda function: function.__name__)
def test_functions_pickle_by_module_and_name(function):
    data = pickle.dumps(function)
    assert pickle.loads(data) is function
    strings = {argument for _, argument, _ in pickletools.genops(data) if isinstance(argument, str)}
    assert strings == {function.__module__, function.__qualname__}


def kernel_calls():
    """(function, arguments) pairs with results worth comparing bit for bit: counts, odd values, many peaks."""
    rng = np.random.default_rng(11)
    counts = rng.poisson(50.0, 500).astype(np.float64)
    x = np.linspace(-20.0, 20.0, 333)
    params = np.column_stack((rng.uniform(1, 100, 20), rng.uniform(-20, 20, 20), rng.uniform(0.1, 30, 20))).ravel()
    return [
        (vosterin_peak_search_cy, (counts,)),
        (vosterin_peak_search_cy, (np.array([1.0, -4.0, np.inf, 2.0, np.nan, 0.0]),)),
        (rebin_histogram_cy, (np.cumsum(rng.uniform(0.1, 1.0, 501)), counts, np.linspace(0.0, 300.0, 77))),
        (multi_gaussian_cy, (x, params)),
        (multi_gaussian_jacobian_cy, (x, params)),
    ]


def test_kernels_give_the_same_bits_in_spawned_worker_processes():
    calls = kernel_calls()
    with ProcessPoolExecutor(max_workers=2, mp_context=multiprocessing.get_context("spawn")) as pool:
        futures = [pool.submit(function, *arguments) for function, arguments in calls]
        there = [future.result() for future in futures]
    here = [function(*arguments) for function, arguments in calls]
    assert bits(there) == bits(here)


def test_the_example_analyses_spectra_on_a_process_pool_as_here(example, analyses_here):
    there = example["with_process_pool"](simulated_spectrum, SEEDS, workers=2)
    assert bits(there) == bits(analyses_here)


def test_the_example_analyses_spectra_on_a_dask_cluster_as_here(example, analyses_here):
    pytest.importorskip("dask.distributed", reason="needs the dask extra")
    there = example["with_dask"](simulated_spectrum, SEEDS, workers=2)
    assert bits(there) == bits(analyses_here)
