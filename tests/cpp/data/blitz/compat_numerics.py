"""Reference vectors for the blitz reference numerics, read by the
blitz_compat_*_test.cpp files.

    python3 compat_numerics.py > compat_numerics.txt    # committed vectors
    python3 compat_numerics.py live                      # more cases, other seeds

Every expected value is computed by the library the routine reproduces, on
this machine: np.sum (float64 and float32), np.log (float32), scipy.special
digamma / gammainc / gammaincc, scipy.stats.norm.isf and
scipy.optimize.brentq. Floats are written as the hex of their IEEE bits
(16 digits for doubles, 8 for floats), so NaN payloads and signed zeros count.

Line formats:
  versions | <numpy> | <scipy>
  sum_f64 <seed> <n> | <sum>      inputs from MT19937(seed), see sum_inputs()
  sum_f32 <seed> <n> | <sum>
  log_f32 <x> | <log x>
  digamma <x> | <psi x>
  gammainc <a> <x> | <P(a, x)>
  gammaincc <a> <x> | <Q(a, x)>
  norm_isf <q> | <isf q>
  brentq <family> <c> <xa> <xb> | <root>   f from brent_family(), default tolerances

Three inputs are left out because our routines follow a rule of their own
there (each is pinned by its own C++ test):
  * np.sum of an empty array is +0.0 (the identity of np.add); ours is -0.0;
  * np.log of a float32 subnormal: NumPy's AVX512F loop normalises it
    (getexp/getmant) and runs the polynomial, ours calls the C library's logf
    (the two differ by one ulp on some inputs);
  * norm_isf(0.5): ours returns -0.0, the negated zero of ndtri; SciPy adds the
    location 0.0 and returns +0.0.
"""

import math
import struct
import sys

import numpy as np
import scipy
from scipy import optimize, special, stats


def h64(v):
    return struct.pack(">d", float(v)).hex()


def h32(v):
    return np.float32(v).view(np.uint32).item().to_bytes(4, "big").hex()


def sum_inputs(seed, n):
    """n doubles from RandomState(seed)'s raw 32-bit words, three per value:
    u = 53-bit uniform from words a, b (NumPy's random_sample formula),
    x = ldexp(u - 0.5, c % 21 - 10). Every step is exact, so the C++ test
    rebuilds the same array from the same words."""
    w = np.random.RandomState(seed)._bit_generator.random_raw(3 * n).astype(np.uint64)
    a, b, c = w[0::3], w[1::3], w[2::3]
    u = ((a >> np.uint64(5)).astype(np.float64) * 67108864.0 + (b >> np.uint64(6)).astype(np.float64)) / 9007199254740992.0
    e = (c % np.uint64(21)).astype(np.int64) - 10
    return np.ldexp(u - 0.5, e)


# Short arrays (below 8, around 128 and the first split) with many seeds;
# long ones, whose inputs cost nothing to store, with a few.
SHORT_SUM_LENGTHS = list(range(1, 20)) + list(range(120, 140)) + [255, 256, 257]
LONG_SUM_LENGTHS = [1000, 1023, 1024, 1025, 4095, 4096, 4097, 8191, 8192, 8193, 10000, 65539,
                    100003, 1000003]


def emit_sums(short_seeds, long_seeds):
    for lengths, seeds in ((SHORT_SUM_LENGTHS, short_seeds), (LONG_SUM_LENGTHS, long_seeds)):
        for n in lengths:
            for seed in seeds:
                x = sum_inputs(seed, n)
                print(f"sum_f64 {seed} {n} | {h64(np.sum(x))}")
                print(f"sum_f32 {seed} {n} | {h32(np.sum(x.astype(np.float32)))}")


def emit_log(rng, count):
    special_bits = [0x00000000, 0x80000000, 0x7F800000, 0xFF800000, 0x7FC00000, 0x3F800000,
                    0x00800000, 0x00800001, 0x7F7FFFFF, 0xBF800000, 0x80000001, 0xFFC00001]
    # Around sqrt(1/2), where the mantissa is doubled, at several exponents.
    for e in (-126, -20, -1, 0, 1, 20, 126):
        for d in range(-3, 4):
            special_bits.append(((0x3F3504F3 + d) & 0x007FFFFF) | ((e + 127) << 23))
    random_bits = list(rng.integers(0, 2**32, size=count // 2, dtype=np.uint64))
    # Positive normals, the common case.
    random_bits += list(rng.integers(0x00800000, 0x7F800000, size=count // 2, dtype=np.uint64))
    bits = np.array(special_bits + [int(b) for b in random_bits], dtype=np.uint32)
    bits = bits[((bits & 0x7F800000) != 0) | ((bits & 0x007FFFFF) == 0)]  # no subnormals
    xs = bits.view(np.float32)
    with np.errstate(all="ignore"):
        ys = np.log(xs)
    for x, y in zip(xs, ys):
        print(f"log_f32 {h32(x)} | {h32(y)}")


def emit_digamma(rng, count):
    xs = [0.0, -0.0, math.inf, -math.inf, math.nan, 1.0, 2.0, 9.0, 10.0, 10.5, 11.0, 1e17, 2e17,
          -1.0, -2.5, -0.504083008264455409, -0.2040830082644554, -0.8040830082644554,
          1.4616321449683623, 5e-324, 1e-300, 1e300]
    xs += [float(i) for i in range(1, 13)]
    n = count // 4
    xs += list(np.ldexp(rng.random(n) + 0.5, rng.integers(-30, 60, size=n)))  # wide positive
    xs += list(rng.random(n) * 12.0)  # recurrence and [1, 2] ranges
    xs += list(-rng.random(n // 2) * 30.0)  # reflection
    xs += list(-0.504083008264455409 + (rng.random(n // 2) - 0.5) * 0.6)  # root series
    xs += list(np.exp(rng.normal(0.0, 1.0, size=n)))  # the gamma fit's shapes
    with np.errstate(all="ignore"):
        ys = special.digamma(np.array(xs, dtype=np.float64))
    for x, y in zip(xs, ys):
        print(f"digamma {h64(x)} | {h64(y)}")


def emit_igam(rng, count):
    pairs = [(0.0, 1.0), (0.0, 0.0), (1.0, 0.0), (math.inf, 1.0), (math.inf, math.inf),
             (1.0, math.inf), (math.nan, 1.0), (1.0, math.nan), (-1.0, 1.0), (1.0, -1.0),
             (20.0, 20.0), (200.0, 200.0), (20.000000000000004, 20.0), (200.00000000000003, 200.0),
             (1.0, 1.1), (1.0, 0.5), (5.0, 1.1), (0.1, 0.5), (0.2, 0.5), (1.21, 1.1), (1.2, 1.1),
             (1e-300, 1e-300), (1e6, 1e6 + 1000.0), (1e10, 1e10), (0.5, 1e-10), (1e-5, 1000.0)]
    n = count // 5
    # a log-uniform over [1e-3, 1e6], x spread around a.
    a = np.exp(rng.uniform(math.log(1e-3), math.log(1e6), size=n))
    pairs += list(zip(a, a * np.exp(rng.normal(0.0, 0.5, size=n))))
    # Near x = a, the asymptotic regime and its edges.
    a = np.exp(rng.uniform(math.log(15.0), math.log(5e4), size=n))
    pairs += list(zip(a, a * (1.0 + rng.uniform(-0.4, 0.4, size=n) * np.minimum(1.0, 6.0 / np.sqrt(a)))))
    # Small x (both small-x series and 1 - P), moderate a.
    pairs += list(zip(np.exp(rng.uniform(math.log(1e-4), math.log(30.0), size=n)),
                      rng.uniform(0.0, 1.2, size=n)))
    # Independent log-uniform a and x.
    pairs += list(zip(np.exp(rng.uniform(math.log(1e-4), math.log(1e4), size=n)),
                      np.exp(rng.uniform(math.log(1e-6), math.log(1e4), size=n))))
    # The scoring range: shapes of gamma fits, far tails.
    pairs += list(zip(np.exp(rng.uniform(math.log(0.3), math.log(30.0), size=n)),
                      np.exp(rng.uniform(math.log(1e-3), math.log(300.0), size=n))))
    a = np.array([p[0] for p in pairs], dtype=np.float64)
    x = np.array([p[1] for p in pairs], dtype=np.float64)
    with np.errstate(all="ignore"):
        p = special.gammainc(a, x)
        q = special.gammaincc(a, x)
    for ai, xi, pi, qi in zip(a, x, p, q):
        print(f"gammainc {h64(ai)} {h64(xi)} | {h64(pi)}")
        print(f"gammaincc {h64(ai)} {h64(xi)} | {h64(qi)}")


def emit_norm_isf(rng, count):
    e2 = 0.13533528323661269189
    qs = [0.0, 1.0, -0.1, 1.1, math.nan, 5e-324, 1e-300, e2, 1.0 - e2,
          np.nextafter(e2, 1.0), np.nextafter(e2, 0.0), math.exp(-32.0), 1.2664165549e-14,
          0.25, 0.75, 0.4999999999999999, 0.5000000000000001, 1.0 - 1e-16]
    n = count // 3
    qs += list(rng.random(n))
    qs += list(np.exp(rng.uniform(math.log(1e-300), 0.0, size=n)))
    qs += list(1.0 - np.exp(rng.uniform(math.log(1e-16), 0.0, size=n)))
    q = np.array(qs, dtype=np.float64)
    with np.errstate(all="ignore"):
        y = stats.norm.isf(q)
    for qi, yi in zip(q, y):
        if qi == 0.5:
            continue
        print(f"norm_isf {h64(qi)} | {h64(yi)}")


def brent_family(family, c):
    """The functions solved by the brentq cases; the C++ test defines the
    same ones with the same operation order. math.log and math.exp are the
    C library's."""
    if family == "gamma_shape":  # the maximum-likelihood equation of the gamma fit
        return lambda a: (math.log(a) - special.digamma(a)) - c
    if family == "cubic":
        return lambda x: (x * x) * x - c
    if family == "exp":
        return lambda x: math.exp(x) - c
    raise ValueError(family)


def emit_brentq(rng, count):
    cases = []
    n = count // 3
    for s in np.exp(rng.uniform(math.log(1e-4), math.log(5.0), size=n)):
        s = float(np.float32(s))
        aest = (3.0 - s + math.sqrt((s - 3.0) ** 2 + 24.0 * s)) / (12.0 * s)
        cases.append(("gamma_shape", s, 0.6 * aest * rng.uniform(0.7, 1.0), aest * 1.4 * rng.uniform(1.0, 1.5)))
    for c in rng.uniform(-50.0, 50.0, size=n):
        cases.append(("cubic", float(c), -4.0 - rng.uniform(0.0, 3.0), 4.0 + rng.uniform(0.0, 3.0)))
    for c in np.exp(rng.uniform(-5.0, 5.0, size=n)):
        cases.append(("exp", float(c), -6.0 - rng.uniform(0.0, 2.0), 6.0 + rng.uniform(0.0, 2.0)))
    # Roots at an end of the bracket.
    cases += [("cubic", 8.0, 2.0, 3.0), ("cubic", 8.0, 1.0, 2.0), ("exp", 1.0, 0.0, 1.0)]
    for family, c, xa, xb in cases:
        root = optimize.brentq(brent_family(family, c), float(xa), float(xb))
        print(f"brentq {family} {h64(c)} {h64(xa)} {h64(xb)} | {h64(root)}")


def main():
    live = len(sys.argv) > 1 and sys.argv[1] == "live"
    seed = 20260517 if not live else 91
    count = 600 if not live else 6000
    short_seeds = range(1, 6) if not live else range(100, 150)
    long_seeds = [1] if not live else [2, 3, 4]
    rng = np.random.default_rng(seed)
    print(f"versions | {np.__version__} | {scipy.__version__}")
    emit_sums(short_seeds, long_seeds)
    emit_log(rng, count)
    emit_digamma(rng, count)
    emit_igam(rng, count)
    emit_norm_isf(rng, count)
    emit_brentq(rng, count // 6)


if __name__ == "__main__":
    main()
