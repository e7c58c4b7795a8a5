# Sourced by the scripts in this folder. Finds CPython 3.13 ($PYTHON, then python3.13 on PATH, then pyenv's
# 3.13) and installs the package, built from this checkout, into the virtual environment $VENV (default
# .venv) with the extras given to install_package.

find_python() {
    local candidate
    if [ -n "${PYTHON:-}" ]; then
        candidate=$PYTHON
    elif python3.13 -c '' 2>/dev/null; then
        candidate=python3.13
    else
        candidate=$(ls -d "$(pyenv root 2>/dev/null)"/versions/3.13*/bin/python3.13 2>/dev/null | tail -n 1)
    fi
    if [ -z "$candidate" ] || ! "$candidate" -c 'import sys; sys.exit(sys.version_info[:2] != (3, 13))'; then
        echo "CPython 3.13 not found: set PYTHON to a python3.13 interpreter" >&2
        return 1
    fi
    echo "$candidate"
}

# install_package [EXTRAS [PIP_OPTIONS...]]: the build tools first, then the package without build isolation,
# so that rebuilds reuse the build folder and compile only what changed.
install_package() {
    VENV=${VENV:-.venv}
    echo "Installing tavmir${1:+[$1]} into $VENV" >&2
    if [ ! -x "$VENV/bin/python" ]; then
        "$(find_python)" -m venv "$VENV"
    fi
    "$VENV/bin/python" -m pip install --quiet --disable-pip-version-check \
        "scikit-build-core>=0.10" "numpy>=2.1" "cmake>=3.26" ninja
    "$VENV/bin/python" -m pip install --quiet --disable-pip-version-check --no-build-isolation \
        ".${1:+[$1]}" "${@:2}"
}
