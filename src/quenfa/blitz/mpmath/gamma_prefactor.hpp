// The prefactor z^a e^-z / Gamma(a) of the incomplete gamma series and
// continued fraction, in a high-precision context.
#pragma once

#include "quenfa/blitz/mpmath/hp_context.hpp"

namespace quenfa::blitz {

// exp((a ln z - z) - lnGamma(a)) in `ctx`, with lnGamma(a):
//   a an integer in [1, 2^64]:           ln_factorial(a - 1);
//   a - 1/2 = k an integer in [0, 2^64]: ((ln_factorial(2k) - ln_factorial(k))
//                                         - k ln 4) + 1/2 ln pi;
//   otherwise Spouge's approximation with parameter 80 (relative error of
//   Gamma below 1e-64 whatever the precision), evaluated with at least 192
//   bits and rounded to W, since its alternating sum cancels about 98 bits.
// z = +-0 gives ln z = -inf and the prefactor +0.
Result<Hp> gamma_prefactor(const HpContext& ctx, double a, const Hp& z);

}  // namespace quenfa::blitz
