"""Random wrong calls of all four functions (wrong_calls.py) return or raise, never crash, and leave no reference
and no buffer held. They run in an interpreter of their own, so that a crash fails this test, naming the call."""

import os
import subprocess
import sys
from pathlib import Path

TESTS = Path(__file__).parent


def test_wrong_calls_return_or_raise_and_hold_nothing(tmp_path):
    # Outside the source tree, so that the installed package is imported; the environment, with the sanitizers'
    # settings of a sanitized run and the hypothesis profile, is passed on.
    child = subprocess.run(
        [sys.executable, "-P", "-X", "faulthandler", str(TESTS / "wrong_calls.py")],
        cwd=tmp_path,
        env={**os.environ, "PYTHONPATH": str(TESTS)},
        capture_output=True,
        text=True,
    )
    if child.returncode != 0:
        calls = child.stdout.splitlines()
        raise AssertionError(
            f"the calls ended with exit status {child.returncode} after {len(calls)} calls; the last one was\n"
            f"    {calls[-1] if calls else '(none)'}\n{child.stderr[-20000:]}"
        )
