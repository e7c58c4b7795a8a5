"""The demo analysis of a gamma-ray spectrum, a client of the native kernels: `python -m tavmir.demo`.

It needs the `demo` extra (SciPy, matplotlib). `tavmir.demo.analysis.analyse` is the analysis of one spectrum,
for use in your own programs and worker processes.
"""
