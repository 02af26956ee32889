// Special functions of the classic engine, from Boost.Math with a policy that
// returns NaN or infinity instead of throwing.
#pragma once

namespace quenfa::stats {

// The trigamma function psi_1(x).
double trigamma(double x);

// Quantile p of the Beta(a, b) distribution.
double beta_quantile(double a, double b, double p);

}  // namespace quenfa::stats
