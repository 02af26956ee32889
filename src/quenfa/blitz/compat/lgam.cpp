#include "quenfa/blitz/compat/lgam.hpp"

#include <cmath>
#include <limits>

#include "quenfa/blitz/compat/cephes_constants.hpp"
#include "quenfa/blitz/compat/polevl.hpp"

namespace quenfa::blitz::compat {
namespace {

// Stirling's series for log Gamma, highest power of 1/x^2 first.
constexpr double kStirling[] = {8.11614167470508450300E-4, -5.95061904284301438324E-4,
                                7.93650340457716943945E-4, -2.77777777730099687205E-3,
                                8.33333333333331927722E-2};
// log Gamma(2 + x) = log z + x B(x) / C(x) on [0, 1), C monic.
constexpr double kB[] = {-1.37825152569120859100E3, -3.88016315134637840924E4,
                         -3.31612992738871184744E5, -1.16237097492762307383E6,
                         -1.72173700820839662146E6, -8.53555664245765465627E5};
constexpr double kC[] = {-3.51815701436523470549E2, -1.70642106651881159223E4,
                         -2.20528590553854454839E5, -1.13933444367982507207E6,
                         -2.53252307177582951285E6, -2.01889141433532773231E6};

// log(sqrt(2 pi)).
constexpr double kLogSqrt2Pi = 0.91893853320467274178;
// Largest argument with a finite log Gamma.
constexpr double kMaxLgam = 2.556348e305;
constexpr double kReflectBelow = -34.0;
constexpr double kRationalBelow = 13.0;
constexpr double kShortStirlingFrom = 1000.0;
constexpr double kBareStirlingAbove = 1.0e8;

// sin(pi x), reduced modulo 2 first so that the period is exact.
double sinpi(double x) {
  double s = 1.0;
  if (std::signbit(x)) {
    x = -x;
    s = -1.0;
  }
  const double r = std::fmod(x, 2.0);
  if (r < 0.5) return s * std::sin(kPi * r);
  if (r > 1.5) return s * std::sin(kPi * (r - 2.0));
  return -s * std::sin(kPi * (r - 1.0));
}

// Stirling's series with its first two correction terms written out.
double lgam_large_x(double x) {
  const double q = (x - 0.5) * std::log(x) - x + kLogSqrt2Pi;
  if (x > kBareStirlingAbove) return q;
  double p = 1.0 / (x * x);
  p = ((7.9365079365079365079365e-4 * p - 2.7777777777777777777778e-3) * p +
       0.0833333333333333333333) /
      x;
  return q + p;
}

}  // namespace

double lgam_sgn(double x, int* sign) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  *sign = 1;
  if (!std::isfinite(x)) return x;

  if (x < kReflectBelow) {
    const double q = -x;
    const double w = lgam_sgn(q, sign);
    double p = std::floor(q);
    if (p == q) return inf;
    *sign = (static_cast<long long>(p) & 1) == 0 ? -1 : 1;
    double z = q - p;
    if (z > 0.5) {
      p += 1.0;
      z = p - q;
    }
    z = q * sinpi(z);
    if (z == 0.0) return inf;
    return kLogPi - std::log(z) - w;
  }

  if (x < kRationalBelow) {
    double z = 1.0;
    double p = 0.0;
    double u = x;
    while (u >= 3.0) {
      p -= 1.0;
      u = x + p;
      z *= u;
    }
    while (u < 2.0) {
      if (u == 0.0) return inf;
      z /= u;
      p += 1.0;
      u = x + p;
    }
    if (z < 0.0) {
      *sign = -1;
      z = -z;
    } else {
      *sign = 1;
    }
    if (u == 2.0) return std::log(z);
    p -= 2.0;
    x = x + p;
    p = x * polevl(x, kB) / p1evl(x, kC);
    return std::log(z) + p;
  }

  if (x > kMaxLgam) return *sign * inf;
  if (x >= kShortStirlingFrom) return lgam_large_x(x);

  const double q = (x - 0.5) * std::log(x) - x + kLogSqrt2Pi;
  const double p = 1.0 / (x * x);
  return q + polevl(p, kStirling) / x;
}

double lgam(double x) {
  int sign = 1;
  return lgam_sgn(x, &sign);
}

}  // namespace quenfa::blitz::compat
