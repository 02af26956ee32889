// The digamma function psi(x) = d/dx log Gamma(x) as scipy.special.digamma
// computes it for real arguments: Cephes psi.c with Boost's rational
// approximation on [1, 2], wrapped by SciPy's Taylor series about the
// negative root.
#pragma once

namespace quenfa::blitz::compat {

// psi(x) for a double x:
//   |x - r| < 0.3 with r = -0.50408300826445541 (the negative root): the Taylor
//     series about r whose coefficients are Hurwitz zeta values;
//   +inf -> +inf; -inf, NaN and non-positive integers -> NaN; +-0 -> -+inf;
//   x < 0: reflection psi(x) = psi(1 - x) - pi / tan(pi frac(x));
//   integers 1..10: -euler + sum_{i<x} 1/i;
//   otherwise the recurrence into [1, 2] (x < 10) or the asymptotic series.
double scipy_digamma(double x);

// Boost's rational approximation of psi on [1, 2]:
// (x - root) * (Y + P(x - 1) / Q(x - 1)).
double scipy_digamma_imp_1_2(double x);

// The asymptotic series log(x) - 1/(2x) - sum_k B_2k / (2k x^2k), for x > 2.
double scipy_psi_asy(double x);

}  // namespace quenfa::blitz::compat
