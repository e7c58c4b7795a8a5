"""Hypothesis profiles. "fast", the default, keeps the suite quick, also under the sanitizers, and draws the same
examples on every run; "thorough" draws many more, new ones on every run, and is chosen by hand:

    HYPOTHESIS_PROFILE=thorough scripts/test tests/test_properties.py tests/test_wrong_calls.py

No example database is kept: a failure prints what reproduces it."""

import os

from hypothesis import HealthCheck, settings

settings.register_profile(
    "fast",
    max_examples=300,
    derandomize=True,
    database=None,
    deadline=None,
    suppress_health_check=[HealthCheck.too_slow],
)
settings.register_profile(
    "thorough",
    max_examples=10_000,
    database=None,
    deadline=None,
    print_blob=True,
    suppress_health_check=[HealthCheck.too_slow],
)
settings.load_profile(os.environ.get("HYPOTHESIS_PROFILE", "fast"))
