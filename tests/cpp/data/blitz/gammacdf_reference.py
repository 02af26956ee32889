"""Reference vectors for the high-precision gamma CDF (gammacdf), read by
blitz_gammacdf_test.cpp.

    python3 gammacdf_reference.py > gammacdf_reference.txt   # committed vectors
    python3 gammacdf_reference.py live                        # other cases, run by the test

The algorithm of gammacdf is written here once more with mpmath numbers:
mp.prec is the working precision W = ceil(p / 64) * 64 of the C++ code, every
operation rounds to nearest at W bits, and P and 1 - P are rounded to p bits
at the end. The C++ results must be equal bit for bit. Each case also carries
mpmath.gammainc(a, 0, x / beta, regularized=True) evaluated 256 bits beyond
W, which the test uses to check the accuracy gammacdf claims.

Doubles are written as the hex of their IEEE bits (16 digits); high-precision
values exactly, as "0x<odd mantissa>p<binary exponent>" with an optional
sign, "0" for zero.

Line formats:
  versions | <mpmath>
  gammacdf <d> <x> <a> <beta> | <P> <double of P> <double of 1 - P> | <gammainc>
  gammacdf <d> <x> <a> <beta> | error lower    the series did not converge
  gammacdf <d> <x> <a> <beta> | error upper    the continued fraction did not converge
"""

import math
import random
import struct
import sys
from fractions import Fraction

import mpmath
from mpmath import mp, mpf

BITS_PER_DIGIT = 3.321928094887362
MAX_TERMS = 20000
SPOUGE = 80
SPOUGE_MIN_BITS = 192  # Spouge's sum is evaluated with at least 192 bits


def h64(v):
    return struct.pack(">d", float(v)).hex()


def exact(v):
    """Canonical exact text of an mpf."""
    if v == 0:
        return "0"
    if mpmath.isinf(v):
        return "inf" if v > 0 else "-inf"
    sign, man, exp, _ = v._mpf_
    return ("-" if sign else "") + "0x%xp%d" % (man, exp)


def to_double(v):
    """The double nearest to v (Python's int division rounds correctly)."""
    if v == 0:
        return 0.0
    sign, man, exp, _ = v._mpf_
    f = float(Fraction(man) * Fraction(2) ** exp)
    return -f if sign else f


def round_half_away(v):
    f = math.floor(v)
    return f + 1 if v - f >= 0.5 else f


def precision(d):
    p = max(1, round_half_away(float(2 * d + 1) * BITS_PER_DIGIT))
    return p, -(-p // 64) * 64


def ln_factorial(n):
    s = mpf(0)
    for k in range(2, n + 1):
        s = s + mpmath.ln(mpf(k))
    return s


def ln_gamma(a):
    if a >= 1 and a == math.floor(a):
        return ln_factorial(int(a) - 1)
    k = a - 0.5
    if k >= 0 and k == math.floor(k):
        k = int(k)
        first = (ln_factorial(2 * k) - ln_factorial(k)) - mpf(k) * mpmath.ln(mpf(4))
        return first + mpf(0.5) * mpmath.ln(+mp.pi)
    if mp.prec < SPOUGE_MIN_BITS:
        with mp.workprec(SPOUGE_MIN_BITS):
            wide = ln_gamma(a)
        return +wide  # rounded to W
    w = mpf(a) - mpf(1)
    s = mpmath.sqrt(+mp.pi * mpf(2))
    for k in range(1, SPOUGE):
        c = mpmath.exp(((mpf(k - 0.5) * mpmath.ln(mpf(SPOUGE - k))) + mpf(SPOUGE - k)) - ln_factorial(k - 1))
        if k % 2 == 0:
            c = -c
        s = s + c / (w + mpf(k))
    wn = w + mpf(SPOUGE)
    return ((w + mpf(0.5)) * mpmath.ln(wn) - wn) + mpmath.ln(s)


def prefactor(a, z):
    lg = ln_gamma(a)
    return mpmath.exp((mpf(a) * mpmath.ln(z) - z) - lg)


def lower_series(a, z, eps):
    one = mpf(1)
    ap = a
    dl = one / a
    s = dl
    for _ in range(MAX_TERMS):
        ap = ap + one
        dl = (dl * z) / ap
        s = s + dl
        if abs(dl) < abs(s) * eps:
            return s
    raise ArithmeticError("lower")


def upper_fraction(a, z, eps):
    one = mpf(1)
    tiny = mpf(1e-300)
    b = (z - a) + one
    c = one / tiny
    d = one / (tiny if abs(b) < tiny else b)
    h = d
    for i in range(1, MAX_TERMS + 1):
        an = mpf(i) * (a - mpf(i))
        b = b + mpf(2)
        d = an * d + b
        if abs(d) < tiny:
            d = tiny
        c = b + an / c
        if abs(c) < tiny:
            c = tiny
        d = one / d
        dl = d * c
        h = h * dl
        if abs(dl - one) < eps:
            return h
    raise ArithmeticError("upper")


def gammacdf(d, x, a, beta):
    """(P rounded to p bits, double of P, double of 1 - P)."""
    p, w = precision(d)
    with mp.workprec(w):
        if x < 0:
            big = mpf(0)
        else:
            ha = mpf(a)
            z = mpf(x) / mpf(beta)
            eps = mpf(math.ldexp(1.0, -min(max(p - 24, 0), 900)))
            if z < ha + mpf(1):
                big = prefactor(a, z) * lower_series(ha, z, eps)
            else:
                big = mpf(1) - prefactor(a, z) * upper_fraction(ha, z, eps)
        complement = mpf(1) - big
    with mp.workprec(p):
        big, complement = +big, +complement
    return big, to_double(big), to_double(complement)


def reference(d, x, a, beta):
    _, w = precision(d)
    if x <= 0:
        return mpf(0)
    with mp.workprec(w + 256):
        return mpmath.gammainc(mpf(a), 0, mpf(x) / mpf(beta), regularized=True)


def committed_cases():
    """Every branch: integer, half-integer and other shapes; z below, at and
    above a + 1; x < 0 and x = +-0; exact and inexact scales; d = 1, 50, 200."""
    shapes = [1.0, 4.0, 30.0, 0.5, 2.5, 17.5, 0.3, 1.7, 12.34, 1e-4]
    ratios = [0.02, 0.5, 0.97, 1.0, 1.6, 4.0, 12.0]
    cases = []
    for d in (1, 50, 200):
        for a in shapes:
            for beta in (1.0, 0.037):
                for r in ratios:
                    cases.append((d, r * (a + 1.0) * beta, a, beta))
            cases.append((d, -0.5, a, 1.0))
            cases.append((d, 0.0, a, 0.3))
            cases.append((d, -0.0, a, 0.3))
        # extreme tails: P below 1e-300 and 1 - P below 1e-300
        cases.append((d, 1e-300, 0.3, 1.0))
        cases.append((d, 750.0, 2.5, 1.0))
        cases.append((d, 5e-324, 1.5, 5e-324))  # subnormal x and beta, z = 1
    # a series that needs more than 20000 terms (z close to a very large a)
    cases.append((50, 1e10, 1e10 + 0.25, 1.0))
    return cases


def live_cases(seed=20240607, n=60):
    """Random shapes of the three kinds and random positions around a + 1."""
    rng = random.Random(seed)
    cases = []
    for i in range(n):
        d = (1, 50, 200, rng.randint(2, 80))[i % 4]
        kind = i % 3
        if kind == 0:
            a = float(rng.randint(1, 60))
        elif kind == 1:
            a = rng.randint(0, 40) + 0.5
        else:
            a = rng.uniform(0.01, 50.0)
        beta = rng.choice([1.0, rng.uniform(0.005, 3.0)])
        r = math.exp(rng.uniform(math.log(0.01), math.log(20.0)))
        cases.append((d, r * (a + 1.0) * beta, a, beta))
    return cases


def main():
    cases = live_cases() if sys.argv[1:] == ["live"] else committed_cases()
    print("versions | %s" % mpmath.__version__)
    for d, x, a, beta in cases:
        head = "gammacdf %d %s %s %s | " % (d, h64(x), h64(a), h64(beta))
        try:
            big, cdf, comp = gammacdf(d, x, a, beta)
        except ArithmeticError as failure:
            print(head + "error %s" % failure)
            continue
        ref = reference(d, x, a, beta)
        print(head + "%s %s %s | %s" % (exact(big), h64(cdf), h64(comp), exact(ref)))


if __name__ == "__main__":
    main()
