#include "quenfa/blitz/compat/cephes_erf.hpp"

#include <cmath>
#include <limits>

#include "quenfa/blitz/compat/cephes_constants.hpp"
#include "quenfa/blitz/compat/polevl.hpp"

namespace quenfa::blitz::compat {
namespace {

// erfc on [1, 8): exp(-x^2) P(x) / Q(x), Q monic.
constexpr double kP[] = {
    2.46196981473530512524E-10, 5.64189564831068821977E-1, 7.46321056442269912687E0,
    4.86371970985681366614E1,   1.96520832956077098242E2,  5.26445194995477358631E2,
    9.34528527171957607540E2,   1.02755188689515710272E3,  5.57535335369399327526E2};
constexpr double kQ[] = {1.32281951154744992508E1, 8.67072140885989742329E1,
                         3.54937778887819891062E2, 9.75708501743205489753E2,
                         1.82390916687909736289E3, 2.24633760818710981792E3,
                         1.65666309194161350182E3, 5.57535340817727675546E2};
// erfc from 8 on: exp(-x^2) R(x) / S(x), S monic.
constexpr double kR[] = {5.64189583547755073984E-1, 1.27536670759978104416E0,
                         5.01905042251180477414E0,  6.16021097993053585195E0,
                         7.40974269950448939160E0,  2.97886665372100240670E0};
constexpr double kS[] = {2.26052863220117276590E0, 9.39603524938001434673E0,
                         1.20489539808096656605E1, 1.70814450747565897222E1,
                         9.60896809063285878198E0, 3.36907645100081516050E0};
// erf on [0, 1]: x T(x^2) / U(x^2), U monic.
constexpr double kT[] = {9.60497373987051638749E0, 9.00260197203842689217E1,
                         2.23200534594684319226E3, 7.00332514112805075473E3,
                         5.55923013010394962768E4};
constexpr double kU[] = {3.35617141647503099647E1, 5.21357949780152679795E2,
                         4.59432382970980127987E3, 2.26290000613890934246E4,
                         4.92673942608635921086E4};

constexpr double kFarTail = 8.0;

}  // namespace

double cephes_erfc(double a) {
  if (std::isnan(a)) return std::numeric_limits<double>::quiet_NaN();
  const double x = a < 0.0 ? -a : a;
  if (x < 1.0) return 1.0 - cephes_erf(a);

  double z = -a * a;
  double y = 0.0;
  if (z >= -kMaxLog) {
    z = std::exp(z);
    double p = 0.0;
    double q = 0.0;
    if (x < kFarTail) {
      p = polevl(x, kP);
      q = p1evl(x, kQ);
    } else {
      p = polevl(x, kR);
      q = p1evl(x, kS);
    }
    y = (z * p) / q;
    if (a < 0) y = 2.0 - y;
    if (y != 0.0) return y;
  }
  // exp(-x^2) underflowed.
  return a < 0 ? 2.0 : 0.0;
}

double cephes_erf(double x) {
  if (std::isnan(x)) return std::numeric_limits<double>::quiet_NaN();
  if (x < 0.0) return -cephes_erf(-x);
  if (std::fabs(x) > 1.0) return 1.0 - cephes_erfc(x);
  const double z = x * x;
  return x * polevl(z, kT) / p1evl(z, kU);
}

}  // namespace quenfa::blitz::compat
