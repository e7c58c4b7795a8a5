"""Analyses many spectra in worker processes, with the standard library's process pool or on a Dask cluster.

The kernels hold the interpreter lock for the whole call, so threads do not run them side by side; processes
do. The kernels, `analyse` and the functions that load spectra (`simulated_spectrum` here, `read_spectrum` for
files) pickle by reference, by module and name: each worker imports them itself, and only the sources,
spectra and results travel between processes.

    python examples/many_spectra.py [--spectra N] [--workers N] [--dask]

Dask needs the dask extra: pip install 'tavmir[demo,dask]'.
"""

import argparse
import multiprocessing
import time
from concurrent.futures import ProcessPoolExecutor

import numpy as np

from tavmir.demo.analysis import analyse
from tavmir.demo.spectrum import LINES, simulated_spectrum


def with_process_pool(load, sources, workers):
    """The analyses of `load(source)` for each source, loaded here and analysed in worker processes."""
    # Spawned workers are fresh interpreters, as on macOS and Windows: a forked copy of a process that runs
    # threads can deadlock.
    spawn = multiprocessing.get_context("spawn")
    with ProcessPoolExecutor(max_workers=workers, mp_context=spawn) as pool:
        return list(pool.map(analyse, map(load, sources), chunksize=16))


def with_dask(load, sources, workers):
    """The analyses of `load(source)` for each source, loaded and analysed on a cluster of worker processes."""
    import dask.bag
    from dask.distributed import Client, LocalCluster

    # One thread a worker: the kernels hold the interpreter lock, so more threads would only wait for it.
    with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True) as cluster, Client(cluster):
        return dask.bag.from_sequence(sources, partition_size=16).map(load).map(analyse).compute()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--spectra", type=int, default=200, help="how many (default %(default)d)")
    parser.add_argument("--workers", type=int, default=2, help="worker processes (default %(default)d)")
    parser.add_argument("--dask", action="store_true", help="on a local Dask cluster instead of a process pool")
    args = parser.parse_args()
    start = time.perf_counter()
    analyse_all = with_dask if args.dask else with_process_pool
    analyses = analyse_all(simulated_spectrum, range(args.spectra), args.workers)
    print(f"{len(analyses)} spectra in {time.perf_counter() - start:.1f} s on {args.workers} worker processes")
    for energy, _ in LINES:
        centres = np.array([p.centre for a in analyses for p in a.peaks if abs(p.centre - energy) < 1.0])
        print(f"{energy:7.1f} keV: found in {len(centres)}, at {centres.mean():.3f} ± {centres.std():.3f} keV")


if __name__ == "__main__":
    main()
