"""The demo analysis: it finds the lines of the spectrum it ships, keeps counts when it rebins, fits close
lines together, reads a user's spectrum, and reports a bad file or option in one line."""

import io
import runpy
import subprocess
import sys

import numpy as np
import pytest

from tavmir.demo.analysis import analyse, rebinned
from tavmir.demo.fit import FWHM_PER_SIGMA
from tavmir.demo.spectrum import LINES, Spectrum, SpectrumError, line_sigma, simulated_spectrum
from tavmir.demo.spectrum_file import read_spectrum


@pytest.fixture(scope="module")
def shipped():
    return analyse(simulated_spectrum())


def run_demo(*arguments, monkeypatch):
    """Runs `python -m tavmir.demo` in this process; returns the message it exits with, or None."""
    monkeypatch.setattr(sys, "argv", ["tavmir.demo", *map(str, arguments)])
    try:
        runpy.run_module("tavmir.demo", run_name="__main__")
    except SystemExit as exit:
        return exit.code
    return None


def test_the_command_finds_the_four_lines_within_1_kev_and_plots_them(tmp_path):
    result = subprocess.run(
        [sys.executable, "-P", "-m", "tavmir.demo", "--plot", "peaks.png"],
        cwd=tmp_path, capture_output=True, text=True, timeout=120,
    )
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    rows = [line.split() for line in result.stdout.splitlines() if line.count("±") == 3]
    assert len(rows) == len(LINES)
    for row, (energy, _) in zip(rows, LINES):
        assert abs(float(row[0]) - energy) < 1.0
    assert (tmp_path / "peaks.png").read_bytes().startswith(b"\x89PNG\r\n\x1a\n")


def test_fitted_lines_agree_with_the_simulated_ones(shipped):
    assert len(shipped.peaks) == len(LINES)
    for peak, (energy, area) in zip(shipped.peaks, LINES):
        assert abs(peak.centre - energy) < min(1.0, 5 * peak.centre_error)
        assert abs(peak.area - area) < 5 * peak.area_error
        # Channels and then bins widen a line a little beyond the detector's own width.
        assert 1.0 < peak.fwhm / (FWHM_PER_SIGMA * line_sigma(energy)) < 1.1
        assert 0 < peak.fwhm_error < 0.05 * peak.fwhm


def test_rebinning_keeps_the_counts_inside_the_new_bins():
    edges = np.concatenate(([0.3], np.sort(np.random.default_rng(1).uniform(0.3, 99.8, 300)), [99.8]))
    counts = np.random.default_rng(2).poisson(50.0, len(edges) - 1).astype(np.float64)
    new = rebinned(Spectrum(edges, counts), 0.5)
    np.testing.assert_array_equal(new.edges, 0.5 * np.arange(1, 200))  # the bins within [0.3, 99.8]
    inside = np.diff(np.clip(edges, 0.5, 99.5)) / np.diff(edges)  # the fraction of each old bin in [0.5, 99.5]
    assert new.counts.sum() == pytest.approx((counts * inside).sum(), rel=1e-12)


def test_a_spectrum_narrower_than_a_new_bin_is_refused():
    with pytest.raises(SpectrumError, match="narrower than one bin of 0.5 keV"):
        rebinned(Spectrum(np.array([10.1, 10.2, 10.3]), np.array([1.0, 2.0])), 0.5)


def test_read_only_arrays_are_analysed_like_writable_ones(shipped):
    edges, counts = simulated_spectrum()
    edges.flags.writeable = counts.flags.writeable = False
    assert analyse(Spectrum(edges, counts)).peaks == shipped.peaks


def test_close_lines_are_fitted_together_and_a_lone_line_alone():
    edges = np.arange(0.0, 400.0, 0.5)
    x = 0.5 * (edges[:-1] + edges[1:])
    expected = 200.0 * np.exp(-x / 300.0) * 0.5
    for centre, area in ((100.0, 3000.0), (105.0, 2000.0), (300.0, 2000.0)):
        expected += area * 0.5 * np.exp(-0.5 * ((x - centre) / 0.8) ** 2) / (np.sqrt(2 * np.pi) * 0.8)
    counts = np.random.default_rng(3).poisson(expected).astype(np.float64)
    result = analyse(Spectrum(edges, counts))
    assert [fit.params.size for fit in result.fits] == [2 * 3 + 2, 3 + 2]
    np.testing.assert_allclose([peak.centre for peak in result.peaks], [100.0, 105.0, 300.0], atol=0.1)


def test_a_spectrum_without_lines_has_no_peaks_and_still_a_plot(tmp_path, monkeypatch):
    edges = np.arange(0.0, 1000.0, 0.5)
    counts = np.random.default_rng(4).poisson(100.0, len(edges)).astype(np.float64)
    np.savetxt(tmp_path / "flat.txt", np.column_stack((edges, counts)))
    assert analyse(Spectrum(np.append(edges, 1000.0), counts)).peaks == []
    plotted = run_demo("--input", tmp_path / "flat.txt", "--plot", tmp_path / "flat.png", monkeypatch=monkeypatch)
    assert plotted is None
    assert (tmp_path / "flat.png").stat().st_size > 0


@pytest.mark.parametrize("suffix", [".txt", ".npy"])
def test_a_users_spectrum_is_read_from_text_or_npy(suffix, tmp_path, monkeypatch, capsys):
    edges, counts = simulated_spectrum()
    table = np.column_stack((edges[:-1], counts))
    path = tmp_path / f"spectrum{suffix}"
    np.save(path, table) if suffix == ".npy" else np.savetxt(path, table, fmt="%.17g", header="keV counts")
    assert run_demo("--input", path, "--plot", tmp_path / "peaks.png", monkeypatch=monkeypatch) is None
    assert f"{path}: {counts.sum():.0f} counts in 4096 bins" in capsys.readouterr().out
    spectrum = read_spectrum(path)
    np.testing.assert_array_equal(spectrum.edges[:-1], edges[:-1])
    assert spectrum.edges[-1] == 2 * edges[-2] - edges[-3]  # the last bin as wide as the one before
    np.testing.assert_array_equal(spectrum.counts, counts)


def npy(array, allow_pickle=False):
    with io.BytesIO() as file:
        np.save(file, array, allow_pickle=allow_pickle)
        return file.getvalue()


# file name, its content (None: no such file), a part of the error message
BAD_FILES = [
    ("missing.txt", None, "No such file or directory"),
    ("empty.txt", b"", "input contained no data"),
    ("words.txt", b"edge counts\n1 2\n", "could not convert string 'edge'"),
    ("binary.txt", b"\xff\xfe\x00\x01", "could not convert string"),
    ("one_column.txt", b"1\n2\n3\n", "expected two columns"),
    ("three_columns.txt", b"1 2 3\n2 3 4\n", "expected two columns"),
    ("ragged.txt", b"1 2\n2\n", "number of columns changed"),
    ("one_bin.txt", b"1 2\n", "expected at least two bins, got 1"),
    ("nan.txt", b"1 2\n2 nan\n", "not a finite number"),
    ("complex.txt", b"1 2\n2 1+2j\n", "could not convert string '1+2j'"),
    ("descending.txt", b"2 1\n1 1\n", "do not strictly ascend"),
    ("repeated_edge.txt", b"1 1\n1 1\n2 1\n", "do not strictly ascend"),
    ("negative.txt", b"1 2\n2 -1\n", "negative counts"),
    ("text.npy", b"1 2\n2 3\n", "pickled"),
    ("objects.npy", npy(np.array([None, 1.0], dtype=object), allow_pickle=True), "Object arrays cannot be loaded"),
    ("truncated.npy", npy(np.zeros((4, 2)))[:60], "EOF"),
    ("three_dimensional.npy", npy(np.zeros((2, 2, 2))), "expected two columns"),
    ("complex.npy", npy(np.ones((3, 2), dtype=complex)), "discards the imaginary part"),
    ("strings.npy", npy(np.array([["a", "b"], ["c", "d"]])), "could not convert string"),
    ("records.npy", npy(np.zeros(3, dtype=[("edge", "f8"), ("counts", "f8")])), "Cannot cast"),
]


@pytest.mark.parametrize(("name", "content", "message"), BAD_FILES, ids=[name for name, _, _ in BAD_FILES])
def test_a_bad_file_ends_the_demo_with_one_line_naming_it(name, content, message, tmp_path, monkeypatch):
    path = tmp_path / name
    if content is not None:
        path.write_bytes(content)
    error = run_demo("--input", path, "--plot", tmp_path / "peaks.png", monkeypatch=monkeypatch)
    assert error.startswith(f"error: {path}: ") and message in error and "\n" not in error, error
    assert not (tmp_path / "peaks.png").exists()


def test_a_directory_is_not_a_spectrum(tmp_path, monkeypatch):
    error = run_demo("--input", tmp_path, "--plot", tmp_path / "peaks.png", monkeypatch=monkeypatch)
    assert error == f"error: {tmp_path}: Is a directory"


def test_in_a_process_a_bad_file_gives_one_line_on_stderr_and_exit_status_1(tmp_path):
    (tmp_path / "bad.txt").write_text("channel counts\n")
    result = subprocess.run(
        [sys.executable, "-P", "-m", "tavmir.demo", "--input", "bad.txt"],
        cwd=tmp_path, capture_output=True, text=True, timeout=120,
    )
    assert result.returncode == 1
    assert result.stdout == ""
    assert result.stderr.startswith("error: bad.txt: could not convert string 'channel'")
    assert result.stderr.count("\n") == 1


def test_a_plot_that_cannot_be_written_gives_one_line(tmp_path, monkeypatch):
    path = tmp_path / "no such folder" / "peaks.png"
    error = run_demo("--plot", path, monkeypatch=monkeypatch)
    assert error == f"error: cannot write {path}: No such file or directory"


@pytest.mark.parametrize(
    "arguments",
    [["--plot", "peaks.pdf"], ["--bin-width", "0"], ["--peak-width", "-1"], ["--peak-width", "inf"], ["--threshold", "nan"]],
)
def test_options_out_of_range_are_usage_errors(arguments, monkeypatch, capsys):
    assert run_demo(*arguments, monkeypatch=monkeypatch) == 2
    assert "python -m tavmir.demo: error: argument" in capsys.readouterr().err


@pytest.mark.parametrize("module", ["scipy", "matplotlib"])
def test_without_the_demo_extra_the_demo_says_how_to_install_it(module, monkeypatch):
    monkeypatch.setitem(sys.modules, module, None)  # makes importing it fail as if it were not installed
    assert run_demo(monkeypatch=monkeypatch) == f"python -m tavmir.demo needs {module}: pip install 'tavmir[demo]'"
