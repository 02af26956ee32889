#include "quenfa/blitz/compat/cephes_unity.hpp"

#include <cmath>
#include <cstdint>

#include "quenfa/blitz/compat/cephes_constants.hpp"
#include "quenfa/blitz/compat/hurwitz_zeta.hpp"
#include "quenfa/blitz/compat/lgam.hpp"
#include "quenfa/blitz/compat/polevl.hpp"

namespace quenfa::blitz::compat {
namespace {

// log(1 + x) = x - x^2/2 + x^3 LP(x) / LQ(x), LQ monic.
constexpr double kLP[] = {4.5270000862445199635215E-5, 4.9854102823193375972212E-1,
                          6.5787325942061044846969E0,  2.9911919328553073277375E1,
                          6.0949667980987787057556E1,  5.7112963590585538103336E1,
                          2.0039553499201281259648E1};
constexpr double kLQ[] = {1.5062909083469192043167E1, 8.3047565967967209469434E1,
                          2.2176239823732856465394E2, 3.0909872225312059774938E2,
                          2.1642788614495947685003E2, 6.0118660497603843919306E1};
// The C library's M_SQRT1_2 and M_SQRT2.
constexpr double kSqrtHalf = 0.70710678118654752440;
constexpr double kSqrt2 = 1.41421356237309504880;

// exp(x) = 1 + 2x EP(x^2) / (EQ(x^2) - x EP(x^2)).
constexpr double kEP[] = {1.2617719307481059087798E-4, 3.0299440770744196129956E-2,
                          9.9999999999999999991025E-1};
constexpr double kEQ[] = {3.0019850513866445504159E-6, 2.5244834034968410419224E-3,
                          2.2726554820815502876593E-1, 2.0000000000000000000897E0};

// Cephes MAXITER: the series of log1pmx stops below this many terms.
constexpr std::uint64_t kLog1pmxTerms = 500;
constexpr int kLgam1pTerms = 42;

// log Gamma(1 + x) = -euler x + sum_{n>=2} zeta(n) (-x)^n / n.
double lgam1p_taylor(double x) {
  if (x == 0) return 0;
  double res = -kEuler * x;
  double xfac = -x;
  for (int n = 2; n < kLgam1pTerms; ++n) {
    xfac *= -x;
    const double coeff = hurwitz_zeta(n, 1) * xfac / n;
    res += coeff;
    if (std::fabs(coeff) < kMachEp * std::fabs(res)) break;
  }
  return res;
}

}  // namespace

double cephes_log1p(double x) {
  double z = 1.0 + x;
  if (z < kSqrtHalf || z > kSqrt2) return std::log(z);
  z = x * x;
  z = -0.5 * z + x * (z * polevl(x, kLP) / p1evl(x, kLQ));
  return x + z;
}

double cephes_expm1(double x) {
  if (!std::isfinite(x)) {
    if (std::isnan(x) || x > 0) return x;
    return -1.0;
  }
  if (x < -0.5 || x > 0.5) return std::exp(x) - 1.0;
  const double xx = x * x;
  double r = x * polevl(xx, kEP);
  r = r / (polevl(xx, kEQ) - r);
  return r + r;
}

double log1pmx(double x) {
  if (std::fabs(x) < 0.5) {
    double xfac = x;
    double res = 0;
    for (std::uint64_t n = 2; n < kLog1pmxTerms; ++n) {
      xfac *= -x;
      const double term = xfac / static_cast<double>(n);
      res += term;
      if (std::fabs(term) < kMachEp * std::fabs(res)) break;
    }
    return res;
  }
  return cephes_log1p(x) - x;
}

double lgam1p(double x) {
  if (std::fabs(x) <= 0.5) return lgam1p_taylor(x);
  if (std::fabs(x - 1) < 0.5) return std::log(x) + lgam1p_taylor(x - 1);
  return lgam(x + 1);
}

}  // namespace quenfa::blitz::compat
