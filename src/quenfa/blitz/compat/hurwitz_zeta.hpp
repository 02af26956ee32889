// The Hurwitz zeta function of the Cephes library (zeta.c).
#pragma once

namespace quenfa::blitz::compat {

// zeta(x, q) = sum_{k>=0} (k + q)^-x for x > 1, by direct summation of at
// least nine terms (until k + q > 9) followed by the Euler-Maclaurin tail
// with twelve Bernoulli terms; q > 1e8 uses the two-term asymptotic form
// (DLMF 25.11.43). x = 1 or q a non-positive integer give +inf; x < 1, or
// q < 0 with a non-integer x, give NaN.
double hurwitz_zeta(double x, double q);

}  // namespace quenfa::blitz::compat
