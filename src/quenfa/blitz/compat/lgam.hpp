// log |Gamma(x)| of the Cephes library (gamma.c: lgam, lgam_sgn).
#pragma once

namespace quenfa::blitz::compat {

// log |Gamma(x)|, with the sign of Gamma(x) stored in *sign:
//   non-finite x is returned unchanged;
//   x < -34: the reflection formula log(pi / |x sin(pi x)|) - lgam(-x);
//   x < 13: the recurrence to [2, 3) and a degree-5/6 rational approximation;
//   13 <= x: Stirling's series (its polynomial part dropped above 1e8, and a
//   shorter form from 1000 on); x > 2.556348e305 gives +inf.
// Poles (non-positive integers) give +inf.
double lgam_sgn(double x, int* sign);

// log |Gamma(x)|.
double lgam(double x);

}  // namespace quenfa::blitz::compat
