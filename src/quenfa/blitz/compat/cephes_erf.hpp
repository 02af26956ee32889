// The error function and its complement of the Cephes library (ndtr.c).
#pragma once

namespace quenfa::blitz::compat {

// erf(x) = 2/sqrt(pi) int_0^x exp(-t^2) dt: x P(x^2) / Q(x^2) for |x| <= 1,
// 1 - erfc(x) beyond; odd in x.
double cephes_erf(double x);

// erfc(x) = 1 - erf(x): 1 - erf(x) for |x| < 1; otherwise
// exp(-x^2) P(|x|) / Q(|x|) with one rational form below 8 and another from
// 8 on, reflected as 2 - erfc(-x) for negative x; 0 (or 2) once exp(-x^2)
// underflows.
double cephes_erfc(double x);

}  // namespace quenfa::blitz::compat
