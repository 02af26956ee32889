// The inverse of the standard normal distribution function, Cephes ndtri.c,
// and the normal survival function's inverse built on it.
#pragma once

namespace quenfa::blitz::compat {

// x with Phi(x) = y. For exp(-2) < y < 1 - exp(-2):
// w = y - 0.5, x = sqrt(2 pi) (w + w^3 P0(w^2) / Q0(w^2)). In the tails, with
// z = sqrt(-2 log y') and y' the smaller of y and 1 - y:
// x = z - log(z) / z - (1/z) P(1/z) / Q(1/z), using P1/Q1 for z < 8 and P2/Q2
// from 8 on, negated for the lower tail. y = 0 -> -inf, y = 1 -> +inf, y
// outside [0, 1] -> NaN.
double ndtri(double y);

// The inverse survival function of the standard normal distribution,
// -ndtri(q): q = 0 -> +inf, q = 1 -> -inf, q outside [0, 1] or NaN -> NaN.
// normal_isf(0.5) is -0.0, the negated zero of the central formula
// (scipy.stats.norm.isf adds the location 0.0 and returns +0.0 there).
double normal_isf(double q);

}  // namespace quenfa::blitz::compat
