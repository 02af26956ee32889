// The Lanczos approximation of Gamma used by the Cephes incomplete gamma
// functions in SciPy (lanczos.h, from Boost's lanczos13m53).
#pragma once

namespace quenfa::blitz::compat {

// The Lanczos shift g for N = 13 terms.
inline constexpr double kLanczosG = 6.024680040776729583740234375;

// The Lanczos sum scaled by exp(-g): Gamma(x) =
// ((x + g - 0.5) / e)^(x - 0.5) * lanczos_sum_expg_scaled(x), a ratio of two
// degree-12 polynomials (evaluated in 1/x for x > 1).
double lanczos_sum_expg_scaled(double x);

}  // namespace quenfa::blitz::compat
