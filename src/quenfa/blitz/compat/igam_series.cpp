#include <cmath>

#include "quenfa/blitz/compat/cephes_constants.hpp"
#include "quenfa/blitz/compat/cephes_unity.hpp"
#include "quenfa/blitz/compat/igam_parts.hpp"
#include "quenfa/blitz/compat/lgam.hpp"

namespace quenfa::blitz::compat {
namespace {

// Convergents of the continued fraction are rescaled by kBigInv once a
// numerator exceeds kBig (2^52 and 2^-52).
constexpr double kBig = 4.503599627370496e15;
constexpr double kBigInv = 2.22044604925031308085e-16;

}  // namespace

double igam_series(double a, double x) {
  const double ax = igam_fac(a, x);
  if (ax == 0.0) return 0.0;
  double r = a;
  double c = 1.0;
  double ans = 1.0;
  for (int i = 0; i < kIgamMaxIter; ++i) {
    r += 1.0;
    c *= x / r;
    ans += c;
    if (c <= kMachEp * ans) break;
  }
  return ans * ax / a;
}

double igamc_series(double a, double x) {
  double fac = 1;
  double sum = 0;
  for (int n = 1; n < kIgamMaxIter; ++n) {
    fac *= -x / n;
    const double term = fac / (a + n);
    sum += term;
    if (std::fabs(term) <= kMachEp * std::fabs(sum)) break;
  }
  const double logx = std::log(x);
  const double leading = -cephes_expm1(a * logx - lgam1p(a));
  return leading - std::exp(a * logx - lgam(a)) * sum;
}

double igamc_continued_fraction(double a, double x) {
  const double ax = igam_fac(a, x);
  if (ax == 0.0) return 0.0;

  double y = 1.0 - a;
  double z = x + y + 1.0;
  double c = 0.0;
  double pkm2 = 1.0;
  double qkm2 = x;
  double pkm1 = x + 1.0;
  double qkm1 = z * x;
  double ans = pkm1 / qkm1;
  for (int i = 0; i < kIgamMaxIter; ++i) {
    c += 1.0;
    y += 1.0;
    z += 2.0;
    const double yc = y * c;
    const double pk = pkm1 * z - pkm2 * yc;
    const double qk = qkm1 * z - qkm2 * yc;
    double t = 1.0;
    if (qk != 0) {
      const double r = pk / qk;
      t = std::fabs((ans - r) / r);
      ans = r;
    }
    pkm2 = pkm1;
    pkm1 = pk;
    qkm2 = qkm1;
    qkm1 = qk;
    if (std::fabs(pk) > kBig) {
      pkm2 *= kBigInv;
      pkm1 *= kBigInv;
      qkm2 *= kBigInv;
      qkm1 *= kBigInv;
    }
    if (t <= kMachEp) break;
  }
  return ans * ax;
}

}  // namespace quenfa::blitz::compat
