// Functions near unity of the Cephes library as SciPy ships them (unity.c):
// accurate log(1 + x), exp(x) - 1, log(1 + x) - x and log Gamma(1 + x).
#pragma once

namespace quenfa::blitz::compat {

// log(1 + x): for 1 + x in [sqrt(1/2), sqrt(2)] the series
// x - x^2/2 + x^3 P(x)/Q(x); otherwise the C library's log(1 + x).
double cephes_log1p(double x);

// exp(x) - 1: for |x| <= 0.5 the rational form 2x P(x^2) / (Q(x^2) - x P(x^2));
// otherwise exp(x) - 1.
double cephes_expm1(double x);

// log(1 + x) - x: for |x| < 0.5 the alternating series sum_{n>=2} (-x)^n / n
// (n below 500, until a term is below 2^-53 of the sum); otherwise
// cephes_log1p(x) - x.
double log1pmx(double x);

// log Gamma(1 + x): the Taylor series about 0 (coefficients zeta(n) / n) for
// |x| <= 0.5, log(x) plus that series at x - 1 for |x - 1| < 0.5, and
// lgam(1 + x) elsewhere.
double lgam1p(double x);

}  // namespace quenfa::blitz::compat
