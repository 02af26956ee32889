"""Spearman correlations from scipy.stats.spearmanr for decor_cache_build_test.cpp,
run live by the test.

    python3 decor_spearman.py <expression matrix>

Two sources: a fixture of profiles with ties (within a row, all but one value
equal, -0.0 beside 0.0) and constant rows, written out here; and every 40th
gene of the given expression matrix, which the test reads itself. A constant
row has no Spearman correlation (spearmanr gives NaN); it is written as 0, the
value the Pearson path gives such a row.

Line formats (values with repr, so that they read back exactly):
  source fixture | source <path>
  row <gene> <value> ...             fixture rows
  rho <gene> <gene> <correlation>
"""

import gzip
import sys
import warnings

import numpy as np
from scipy import stats


def print_correlations(genes, values):
    # Pair by pair: given a matrix, spearmanr answers one NaN for all when a
    # row is constant.
    for i, a in enumerate(genes):
        for j, b in enumerate(genes):
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")  # constant rows
                rho = stats.spearmanr(values[i], values[j]).statistic
            print(f"rho {a} {b} {float(np.nan_to_num(rho, nan=0.0))!r}")


def fixture():
    rng = np.random.default_rng(16)
    rows = [rng.integers(0, 4, size=11).astype(float) for _ in range(4)]  # many ties
    rows.append(rng.normal(size=11))
    rows.append(np.array([2.5] * 10 + [1.0]))  # all but one tied
    rows.append(np.array([0.0, -0.0, 1.0, -1.0, 0.0, 2.0, -0.0, 3.0, 1.0, 0.5, 0.0]))
    rows.append(np.full(11, 0.1))  # constant, not exactly representable
    rows.append(np.full(11, -7.0))  # constant
    rows.append(-rows[0])
    genes = [f"F{k}" for k in range(len(rows))]
    print("source fixture")
    for gene, row in zip(genes, rows):
        print(f"row {gene} " + " ".join(repr(float(v)) for v in row))
    print_correlations(genes, np.array(rows))


def bundled(path):
    with gzip.open(path, "rt") as handle:
        lines = [line.rstrip("\n").split("\t") for line in handle][1:]
    picked = lines[::40]
    print(f"source {path}")
    print_correlations([f[0] for f in picked], np.array([[float(v) for v in f[1:]] for f in picked]))


if __name__ == "__main__":
    fixture()
    bundled(sys.argv[1])
