// The regularised incomplete gamma functions of the Cephes library as SciPy
// ships them (igam.c with SciPy's asymptotic and small-x series):
// scipy.special.gammainc and scipy.special.gammaincc.
#pragma once

namespace quenfa::blitz::compat {

// P(a, x) = 1/Gamma(a) int_0^x exp(-t) t^(a-1) dt, for a >= 0, x >= 0.
//   NaN, a < 0 or x < 0 -> NaN; a = 0 -> 1 for x > 0, NaN for x = 0;
//   x = 0 -> 0; a = inf -> 0 (NaN when x = inf too); x = inf -> 1.
//   With r = |x - a| / a: the uniform asymptotic series when 20 < a < 200 and
//   r < 0.3, or a > 200 and r < 4.5 / sqrt(a); otherwise 1 - igamc(a, x)
//   when x > 1 and x > a; otherwise the power series.
double igam(double a, double x);

// Q(a, x) = 1 - P(a, x), for a >= 0, x >= 0.
//   NaN, a < 0 or x < 0 -> NaN; a = 0 -> 0 for x > 0, NaN for x = 0;
//   x = 0 -> 1; a = inf -> 1 (NaN when x = inf too); x = inf -> 0.
//   The same asymptotic test as igam; then for x > 1.1 the continued fraction
//   when x >= a and 1 - P's power series otherwise; for x <= 0.5 the series
//   of DLMF 8.7.3 when a <= -0.4 / log(x); for 0.5 < x <= 1.1 that series when
//   a <= 1.1 x; 1 - P's power series in the remaining cases.
double igamc(double a, double x);

}  // namespace quenfa::blitz::compat
