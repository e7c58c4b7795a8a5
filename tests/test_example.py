"""The peak-search example finds the four lines of its simulated spectrum."""

import pathlib
import runpy

EXAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "find_peaks.py"


def test_example_finds_every_line_and_nothing_else():
    example = runpy.run_path(str(EXAMPLE))
    regions = example["peak_regions"](example["simulated_spectrum"](), threshold=4.0, group=8)
    centres = [centre for centre, _, _ in example["LINES"]]
    assert len(regions) == len(centres)
    for (first, last, _), centre in zip(regions, centres):
        assert first <= centre <= last + 1
