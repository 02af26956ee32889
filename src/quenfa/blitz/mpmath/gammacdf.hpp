// The regularised lower incomplete gamma function P(a, x / beta) at high
// precision: the CDF of a gamma distribution with shape a and scale beta,
// computed where the double-precision CDF is too close to 0 or 1.
#pragma once

#include <cstdint>

#include "quenfa/blitz/mpmath/hp_context.hpp"

namespace quenfa::blitz {

struct GammaCdf {
  Hp p;               // P, rounded to the context's p bits (HpContext::for_gammacdf)
  double cdf;         // render_f64(P)
  double complement;  // render_f64(1 - P), 1 - P rounded to p bits
};

// P(a, x / beta) in the context HpContext::for_gammacdf(digits):
//   x < 0 (-0.0 is not below 0): P = 0 exactly, no series;
//   z = x / beta < a + 1: the lower series sum z^n / (a (a+1) ... (a+n)), up
//   to 20000 terms, times gamma_prefactor(a, z);
//   otherwise 1 - Q with Q from Lentz's continued fraction (up to 20000
//   steps) times gamma_prefactor(a, z).
// Both stop when a term changes the result by less than eps = 2^-k,
// k = min(max(p - 24, 0), 900). Errors:
//   "blitz mpmath fallback requires finite positive gamma parameters"
//   (x or a not finite, a <= 0, beta not finite and > 0),
//   "blitz mpmath fallback dps is too large", the two non-convergence
//   messages, and "blitz mpmath fallback produced NaN".
// Releases the calling thread's MPFR caches before returning.
Result<GammaCdf> gammacdf(std::uint64_t digits, double x, double a, double beta);

struct GammaCdfAndTail {
  Hp p;  // P(a, x / beta)
  Hp q;  // Q = 1 - P, with as many significant bits however small it is
};

// P and Q = 1 - P, each with at least 64 significant bits, whatever the
// digits of gammacdf: for a tail probability too small for gammacdf's
// absolute precision. x < 0 gives P = 0 and Q = 1. The continued fraction
// gives Q directly (and P = 1 - Q); where the lower series gives P near 1, the
// working precision is raised by the bits that 1 - P cancels, until Q keeps
// its significant bits or proves below 2^-1100 (under every double: Q = 0
// then). The parameter check and the error messages are gammacdf's.
Result<GammaCdfAndTail> gamma_cdf_and_tail(double x, double a, double beta);

}  // namespace quenfa::blitz
