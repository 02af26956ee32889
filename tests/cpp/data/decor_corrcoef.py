"""Writes decor_corrcoef.txt: a small expression matrix and NumPy's corrcoef of
its rows, the reference for the decor correlation test.

Rows: random profiles, one on a large offset with a small spread, one the
negative of another. Values are printed with repr so they read back exactly.
"""

import pathlib

import numpy as np

rng = np.random.default_rng(20240611)
samples = 9
rows = [rng.normal(size=samples) for _ in range(4)]
rows.append(1000.0 + rng.normal(size=samples) * 1e-3)  # large offset, small spread
rows.append(-rows[0])
matrix = np.array(rows)
corr = np.corrcoef(matrix)

out = pathlib.Path(__file__).with_suffix(".txt")
with open(out, "w") as handle:
    handle.write(f"{matrix.shape[0]} {samples}\n")
    for row in matrix:
        handle.write(" ".join(repr(float(v)) for v in row) + "\n")
    for row in corr:
        handle.write(" ".join(repr(float(v)) for v in row) + "\n")
