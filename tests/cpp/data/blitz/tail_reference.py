"""Gamma tail P-values from mpmath for blitz_tail_test.cpp, run live by the test.

    python3 tail_reference.py

For shapes, scales and shares of positive scores of the kind the blitz model
fits, and P-values from 1e-3 down past the smallest double, finds the score x
(a double) whose P-value 2 s Q(a, x / beta) is near the target, s = pos_ratio
on the positive side and 1 - pos_ratio on the negative side, and writes that
P-value from mpmath.gammainc at 400 bits. The shape 1e-20 takes the lower
series, where Q = 1 - P cancels.

Doubles are written as the hex of their IEEE bits (16 digits).

Line formats:
  versions | <mpmath>
  tail <side 0|1> <x> <a> <beta> <pos_ratio> | <P-value, 40 significant digits>
"""

import struct

import mpmath
from mpmath import mp, mpf

TARGETS = ["1e-3", "1e-6", "1e-10", "1e-15", "1e-20", "1e-35", "1e-50", "1e-80", "1e-120",
           "1e-200", "1e-300", "1e-310", "1e-330"]
# (shape, scale, pos_ratio, side): integer, half-integer and other shapes.
MODELS = [(0.7, 0.05, 0.5, 0), (3.0, 0.0231, 0.37, 1), (5.5, 0.04, 0.81, 0),
          (23.71, 0.011, 0.43, 1), (180.3, 0.0017, 0.62, 0)]
# (shape, scale, pos_ratio, side, z): fixed arguments.
FIXED = [(1e-20, 1.0, 0.5, 0, 0.5), (1e-20, 0.25, 0.3, 1, 0.9)]


def h64(v):
    return struct.pack(">d", float(v)).hex()


def pvalue(x, a, beta, g, side):
    share = mpf(g) if side == 0 else 1 - mpf(g)
    q = mpmath.gammainc(mpf(a), mpf(x) / mpf(beta), mpmath.inf, regularized=True)
    return 2 * share * q


def score_for(target, a, beta, g, side):
    """The double x whose P-value is within a millionth of the target."""
    target = mpf(target)
    lo, hi = 0.0, max(a, 1.0) * beta
    while pvalue(hi, a, beta, g, side) > target:
        lo, hi = hi, 2 * hi
    while hi - lo > 1e-6 * hi:
        mid = (lo + hi) / 2
        if pvalue(mid, a, beta, g, side) > target:
            lo = mid
        else:
            hi = mid
    return hi


def main():
    mp.prec = 400
    print(f"versions | {mpmath.__version__}")
    cases = [(score_for(t, a, beta, g, side), a, beta, g, side)
             for a, beta, g, side in MODELS for t in TARGETS]
    cases += [(z * beta, a, beta, g, side) for a, beta, g, side, z in FIXED]
    for x, a, beta, g, side in cases:
        ref = pvalue(x, a, beta, g, side)
        print(f"tail {side} {h64(x)} {h64(a)} {h64(beta)} {h64(g)} | "
              f"{mpmath.nstr(ref, 40, min_fixed=1, max_fixed=0)}")


if __name__ == "__main__":
    main()
