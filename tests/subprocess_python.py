"""Running code in a fresh interpreter, for behaviours that change process-wide state."""

import subprocess
import sys
import textwrap


def run_python(code, tmp_path):
    """Runs `code` in a new interpreter (outside the source tree, so imports find the installed package) and
    returns its standard output; fails the test with its standard error when it does not exit cleanly."""
    result = subprocess.run(
        [sys.executable, "-P", "-c", textwrap.dedent(code)],
        cwd=tmp_path,
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert result.returncode == 0, result.stderr
    return result.stdout
