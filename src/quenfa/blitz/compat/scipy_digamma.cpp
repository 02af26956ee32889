#include "quenfa/blitz/compat/scipy_digamma.hpp"

#include <cmath>
#include <limits>

#include "quenfa/blitz/compat/cephes_constants.hpp"
#include "quenfa/blitz/compat/hurwitz_zeta.hpp"
#include "quenfa/blitz/compat/polevl.hpp"

namespace quenfa::blitz::compat {
namespace {

// The negative root of psi and psi's (rounded) value there, from mpmath.
constexpr double kNegativeRoot = -0.504083008264455409;
constexpr double kNegativeRootValue = 7.2897639029768949e-17;
// Radius around the negative root served by the Taylor series.
constexpr double kRootSeriesRadius = 0.3;
constexpr int kRootSeriesTerms = 100;

// The positive root of psi split into three parts whose sum is exact enough
// for x - root to keep full relative precision near the root.
constexpr double kRoot1 = 1569415565.0 / 1073741824.0;
constexpr double kRoot2 = (381566830.0 / 1073741824.0) / 1073741824.0;
constexpr double kRoot3 = 0.9016312093258695918615325266959189453125e-19;
// Boost's Y, a float constant widened to double.
constexpr double kY = static_cast<double>(0.99558162689208984f);
constexpr double kP[] = {-0.0020713321167745952, -0.045251321448739056, -0.28919126444774784,
                         -0.65031853770896507,   -0.32555031186804491,  0.25479851061131551};
constexpr double kQ[] = {-0.55789841321675513e-6,
                         0.0021284987017821144,
                         0.054151797245674225,
                         0.43593529692665969,
                         1.4606242909763515,
                         2.0767117023730469,
                         1.0};

// B_2k / 2k for k = 7..1 (highest power of 1/x^2 first).
constexpr double kAsymptotic[] = {8.33333333333333333333E-2, -2.10927960927960927961E-2,
                                  7.57575757575757575758E-3, -4.16666666666666666667E-3,
                                  3.96825396825396825397E-3, -8.33333333333333333333E-3,
                                  8.33333333333333333333E-2};
// Above this the series terms vanish against log(x).
constexpr double kAsymptoticCutoff = 1.0e17;
// Arguments from which the asymptotic series is used directly.
constexpr double kRecurrenceLimit = 10.0;

// psi(x) = psi(r) + sum_{n>=1} (-1)^(n+1) zeta(n + 1, r) (x - r)^n.
double root_series(double x) {
  double res = kNegativeRootValue;
  double coeff = -1.0;
  const double z = x - kNegativeRoot;
  for (int n = 1; n < kRootSeriesTerms; ++n) {
    coeff *= -z;
    const double term = coeff * hurwitz_zeta(n + 1, kNegativeRoot);
    res += term;
    if (std::fabs(term) < std::numeric_limits<double>::epsilon() * std::fabs(res)) break;
  }
  return res;
}

}  // namespace

double scipy_digamma_imp_1_2(double x) {
  double g = x - kRoot1;
  g -= kRoot2;
  g -= kRoot3;
  const double r = polevl(x - 1.0, kP) / polevl(x - 1.0, kQ);
  return g * kY + g * r;
}

double scipy_psi_asy(double x) {
  double y = 0.0;
  if (x < kAsymptoticCutoff) {
    const double z = 1.0 / (x * x);
    y = z * polevl(z, kAsymptotic);
  }
  return std::log(x) - (0.5 / x) - y;
}

double scipy_digamma(double x) {
  if (std::fabs(x - kNegativeRoot) < kRootSeriesRadius) return root_series(x);
  if (std::isnan(x)) return x;
  if (x == std::numeric_limits<double>::infinity()) return x;
  if (x == -std::numeric_limits<double>::infinity()) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  if (x == 0.0) return std::copysign(std::numeric_limits<double>::infinity(), -x);

  double y = 0.0;
  if (x < 0.0) {
    double whole = 0.0;
    const double frac = std::modf(x, &whole);
    if (frac == 0.0) return std::numeric_limits<double>::quiet_NaN();
    y = -kPi / std::tan(kPi * frac);
    x = 1.0 - x;
  }

  if (x <= kRecurrenceLimit && x == std::floor(x)) {
    const int n = static_cast<int>(x);
    for (int i = 1; i < n; ++i) y += 1.0 / i;
    return y - kEuler;
  }

  if (x < 1.0) {
    y -= 1.0 / x;
    x += 1.0;
  } else if (x < kRecurrenceLimit) {
    while (x > 2.0) {
      x -= 1.0;
      y += 1.0 / x;
    }
  }
  if (1.0 <= x && x <= 2.0) return y + scipy_digamma_imp_1_2(x);
  return y + scipy_psi_asy(x);
}

}  // namespace quenfa::blitz::compat
