#include <cmath>
#include <limits>

#include "quenfa/blitz/compat/cephes_constants.hpp"
#include "quenfa/blitz/compat/cephes_erf.hpp"
#include "quenfa/blitz/compat/cephes_unity.hpp"
#include "quenfa/blitz/compat/igam_asymp_coeff.hpp"
#include "quenfa/blitz/compat/igam_parts.hpp"

namespace quenfa::blitz::compat {

// With lambda = x / a and eta = sign(lambda - 1) sqrt(-2 log1pmx(lambda - 1)):
// P or Q = erfc(-+eta sqrt(a/2)) / 2 -+ exp(-a eta^2 / 2) / sqrt(2 pi a)
//          * sum_k c_k(eta) a^-k,
// each c_k summed from its Taylor coefficients until a term is below 2^-53 of
// the partial sum, and the outer sum stopped at its first growing term.
double igam_asymptotic_series(double a, double x, bool lower) {
  const double sgn = lower ? -1.0 : 1.0;
  const double lambda = x / a;
  const double sigma = (x - a) / a;
  double eta = 0.0;
  if (lambda > 1) {
    eta = std::sqrt(-2 * log1pmx(sigma));
  } else if (lambda < 1) {
    eta = -std::sqrt(-2 * log1pmx(sigma));
  }
  double res = 0.5 * cephes_erfc(sgn * eta * std::sqrt(a / 2));

  // Powers of eta, computed once up to the highest one needed so far.
  double etapow[kIgamAsympN] = {1};
  std::size_t maxpow = 0;
  double sum = 0;
  double afac = 1;
  double absoldterm = std::numeric_limits<double>::infinity();
  for (std::size_t k = 0; k < kIgamAsympK; ++k) {
    double ck = kIgamAsympCoeff[k][0];
    for (std::size_t n = 1; n < kIgamAsympN; ++n) {
      if (n > maxpow) {
        etapow[n] = eta * etapow[n - 1];
        maxpow += 1;
      }
      const double ckterm = kIgamAsympCoeff[k][n] * etapow[n];
      ck += ckterm;
      if (std::fabs(ckterm) < kMachEp * std::fabs(ck)) break;
    }
    const double term = ck * afac;
    const double absterm = std::fabs(term);
    if (absterm > absoldterm) break;
    sum += term;
    if (absterm < kMachEp * std::fabs(sum)) break;
    absoldterm = absterm;
    afac /= a;
  }
  res += sgn * std::exp(-0.5 * a * eta * eta) * sum / std::sqrt(2 * kPi * a);
  return res;
}

}  // namespace quenfa::blitz::compat
