#include "quenfa/blitz/compat/igam.hpp"

#include <cmath>
#include <limits>

#include "quenfa/blitz/compat/igam_parts.hpp"

namespace quenfa::blitz::compat {
namespace {

// The asymptotic regime of a ~ x (Boost's choice, as in SciPy): for
// kSmallA < a < kLargeA when |x - a| / a < kSmallRatio, and for a > kLargeA
// when |x - a| / a < kLargeRatio / sqrt(a).
constexpr double kSmallA = 20;
constexpr double kLargeA = 200;
constexpr double kSmallRatio = 0.3;
constexpr double kLargeRatio = 4.5;

// Thresholds of igamc between its series and 1 - P.
constexpr double kContinuedFractionX = 1.1;
constexpr double kSmallX = 0.5;

bool in_asymptotic_regime(double a, double x) {
  const double absxma_a = std::fabs(x - a) / a;
  return (a > kSmallA && a < kLargeA && absxma_a < kSmallRatio) ||
         (a > kLargeA && absxma_a < kLargeRatio / std::sqrt(a));
}

}  // namespace

double igam(double a, double x) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  if (std::isnan(a) || std::isnan(x)) return nan;
  if (x < 0 || a < 0) return nan;
  if (a == 0) return x > 0 ? 1 : nan;
  if (x == 0) return 0;
  if (std::isinf(a)) return std::isinf(x) ? nan : 0;
  if (std::isinf(x)) return 1;

  if (in_asymptotic_regime(a, x)) return igam_asymptotic_series(a, x, true);
  if (x > 1.0 && x > a) return 1.0 - igamc(a, x);
  return igam_series(a, x);
}

double igamc(double a, double x) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  if (std::isnan(a) || std::isnan(x)) return nan;
  if (x < 0 || a < 0) return nan;
  if (a == 0) return x > 0 ? 0 : nan;
  if (x == 0) return 1;
  if (std::isinf(a)) return std::isinf(x) ? nan : 1;
  if (std::isinf(x)) return 0;

  if (in_asymptotic_regime(a, x)) return igam_asymptotic_series(a, x, false);
  if (x > kContinuedFractionX) {
    return x < a ? 1.0 - igam_series(a, x) : igamc_continued_fraction(a, x);
  }
  if (x <= kSmallX) {
    return -0.4 / std::log(x) < a ? 1.0 - igam_series(a, x) : igamc_series(a, x);
  }
  return x * 1.1 < a ? 1.0 - igam_series(a, x) : igamc_series(a, x);
}

}  // namespace quenfa::blitz::compat
