// Polynomial and rational evaluation of the Cephes library (polevl.c, p1evl.c,
// and SciPy's ratevl). Coefficients are stored highest power first; every
// step is one multiplication followed by one addition, never fused.
#pragma once

#include <cmath>
#include <cstddef>

namespace quenfa::blitz::compat {

// c[0] x^N + c[1] x^(N-1) + ... + c[N] by Horner's rule.
template <std::size_t M>
double polevl(double x, const double (&c)[M]) {
  double ans = c[0];
  for (std::size_t i = 1; i < M; ++i) ans = ans * x + c[i];
  return ans;
}

// As polevl with an implicit leading coefficient 1:
// x^M + c[0] x^(M-1) + ... + c[M-1].
template <std::size_t M>
double p1evl(double x, const double (&c)[M]) {
  double ans = x + c[0];
  for (std::size_t i = 1; i < M; ++i) ans = ans * x + c[i];
  return ans;
}

// num(x) / den(x) for polynomials of equal degree stored lowest power last
// (the polevl order). For |x| > 1 both are evaluated in 1/x from the other
// end, which keeps the terms bounded; equal degrees make the x^(M-N) factor 1
// (SciPy multiplies by pow(x, 0), which is exactly 1).
template <std::size_t M>
double ratevl(double x, const double (&num)[M], const double (&den)[M]) {
  double n = 0.0;
  double d = 0.0;
  if (std::fabs(x) > 1.0) {
    const double y = 1.0 / x;
    n = num[M - 1];
    d = den[M - 1];
    for (std::size_t i = M - 1; i-- > 0;) {
      n = n * y + num[i];
    }
    for (std::size_t i = M - 1; i-- > 0;) {
      d = d * y + den[i];
    }
  } else {
    n = num[0];
    d = den[0];
    for (std::size_t i = 1; i < M; ++i) n = n * x + num[i];
    for (std::size_t i = 1; i < M; ++i) d = d * x + den[i];
  }
  return n / d;
}

}  // namespace quenfa::blitz::compat
