#include <cmath>

#include "quenfa/blitz/compat/cephes_constants.hpp"
#include "quenfa/blitz/compat/cephes_unity.hpp"
#include "quenfa/blitz/compat/igam_parts.hpp"
#include "quenfa/blitz/compat/lanczos.hpp"
#include "quenfa/blitz/compat/lgam.hpp"

namespace quenfa::blitz::compat {
namespace {

// Beyond this relative distance of x from a the direct form is accurate.
constexpr double kDirectRelativeGap = 0.4;
// Below this for both a and x, pow(x / fac, a) stays in range.
constexpr double kPowLimit = 200.0;

}  // namespace

double igam_fac(double a, double x) {
  if (std::fabs(a - x) > kDirectRelativeGap * std::fabs(a)) {
    const double ax = a * std::log(x) - x - lgam(a);
    if (ax < -kMaxLog) return 0.0;
    return std::exp(ax);
  }

  const double fac = a + kLanczosG - 0.5;
  double res = std::sqrt(fac / std::exp(1.0)) / lanczos_sum_expg_scaled(a);
  if (a < kPowLimit && x < kPowLimit) {
    res *= std::exp(a - x) * std::pow(x / fac, a);
  } else {
    const double num = x - a - kLanczosG + 0.5;
    res *= std::exp(a * log1pmx(num / fac) + x * (0.5 - kLanczosG) / fac);
  }
  return res;
}

}  // namespace quenfa::blitz::compat
