// The pieces igam and igamc choose between (SciPy's igam.h).
#pragma once

namespace quenfa::blitz::compat {

// Iteration cap of the series and the continued fraction.
inline constexpr int kIgamMaxIter = 2000;

// x^a exp(-x) / Gamma(a): directly as exp(a log x - x - lgam(a)) when
// |a - x| > 0.4 |a| (0 when the exponent is below -MAXLOG); otherwise through
// the Lanczos approximation, with pow for a < 200 and x < 200 and log1pmx
// beyond (Boost's formulas (15) and (16), with exp(a - x)).
double igam_fac(double a, double x);

// P(a, x) by the power series of DLMF 8.11.4:
// igam_fac(a, x) / a * sum_k x^k / ((a + 1) ... (a + k)).
double igam_series(double a, double x);

// Q(a, x) by the series of DLMF 8.7.3, for small x:
// -expm1(a log x - lgam1p(a)) - x^a / Gamma(a) sum_{n>=1} (-x)^n / (n! (a + n)).
double igamc_series(double a, double x);

// Q(a, x) by the continued fraction of DLMF 8.9.2, rescaling the convergents
// by 2^-52 whenever the numerator exceeds 2^52.
double igamc_continued_fraction(double a, double x);

// P (lower = true) or Q (lower = false) by Temme's uniform asymptotic
// expansion, DLMF 8.12.3/8.12.4, for a large and x near a.
double igam_asymptotic_series(double a, double x, bool lower);

}  // namespace quenfa::blitz::compat
