"""Reference values of the blitz calibration computed with NumPy, SciPy and
statsmodels, printed as hex floats for the C++ tests, which run this script.

usage:
  calibration_reference.py anchor N K PERMUTATIONS SEED SYMMETRIC
      -> alpha_pos beta_pos alpha_neg beta_neg pos_ratio
  calibration_reference.py gauss SEED COUNT     -> RandomState(SEED).standard_normal(COUNT)
  calibration_reference.py lowess FRAC X... -- Y...   -> lowess(y, x, frac, it=3, delta=0)
The test signature of size N has |scores| = |sin(1.3 i)| * 3 + (i % 7 == 0) * 0.25.
"""

import math
import sys

import numpy as np
from scipy import stats


def test_scores(n):
    return [abs(math.sin(1.3 * i)) * 3 + (0.25 if i % 7 == 0 else 0.0) for i in range(n)]


def random_set_score(abs_scores, hits):
    n, k = len(abs_scores), len(hits)
    total = 0.0
    for h in hits:
        total += abs_scores[h]
    if total == 0:
        return 0.0
    nm, nh = 1.0 / (n - k), 1.0 / total
    steps = np.full(n, -np.float32(nm), dtype=np.float32)
    for p in hits:
        steps[p] = np.float32((abs_scores[p] * nh + nm) - nm)
    walk = np.cumsum(steps, dtype=np.float32)  # sequential float32 additions
    return float(walk[np.argmax(np.abs(walk))])  # first position of the largest |w|


class _NumpyWithCLibraryLog:
    """NumPy as SciPy's gamma fit sees it, except that the double-precision log
    of its shape equation is the C library's (math.log): the engine follows the
    C library there, while NumPy's own vectorised log can differ by an ulp."""

    def __getattr__(self, name):
        return getattr(np, name)

    @staticmethod
    def log(x, *args, **kwargs):
        if type(x) is float:
            return math.log(x)
        return np.log(x, *args, **kwargs)


def fit(values):
    import scipy.stats._continuous_distns as distributions

    distributions.np = _NumpyWithCLibraryLog()
    shape, _, scale = stats.gamma.fit(np.array(values, dtype=np.float32), floc=0)
    return float(shape), float(scale)


def anchor(n, k, permutations, seed, symmetric):
    abs_scores = test_scores(n)
    rs = np.random.RandomState(seed)
    sample = []
    for _ in range(permutations):
        score = random_set_score(abs_scores, rs.permutation(n)[:k])
        if math.isfinite(score):
            sample.append(score)
    pos = [v for v in sample if v > 0]
    neg = [v for v in sample if v < 0]
    if len(pos) < 250 or len(neg) < 250 or symmetric:
        a, b = fit([abs(v) for v in sample if v != 0])
        c, d = a, b
    else:
        a, b = fit(pos)
        c, d = fit([-v for v in neg])
    ratio = len(pos) / (len(pos) + len(neg)) if pos or neg else 0.5
    return [a, b, c, d, ratio]


def main():
    what = sys.argv[1]
    if what == "anchor":
        n, k, permutations, seed, symmetric = map(int, sys.argv[2:7])
        values = anchor(n, k, permutations, seed, bool(symmetric))
    elif what == "gauss":
        seed, count = map(int, sys.argv[2:4])
        values = np.random.RandomState(seed).standard_normal(count).tolist()
    else:
        from statsmodels.nonparametric.smoothers_lowess import lowess
        frac = float(sys.argv[2])
        split = sys.argv.index("--")
        x = np.array([float.fromhex(v) for v in sys.argv[3:split]])
        y = np.array([float.fromhex(v) for v in sys.argv[split + 1:]])
        values = lowess(y, x, frac=frac, it=3, delta=0.0, return_sorted=False).tolist()
    print(" ".join(float(v).hex() for v in values))


if __name__ == "__main__":
    main()
