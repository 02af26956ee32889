#include "quenfa/blitz/compat/ndtri.hpp"

#include <cmath>
#include <limits>

#include "quenfa/blitz/compat/cephes_constants.hpp"
#include "quenfa/blitz/compat/polevl.hpp"

namespace quenfa::blitz::compat {
namespace {

// Central region |y - 0.5| <= 3/8: w + w^3 P0(w^2) / Q0(w^2), Q0 monic.
constexpr double kP0[] = {-5.99633501014107895267E1, 9.80010754185999661536E1,
                          -5.66762857469070293439E1, 1.39312609387279679503E1,
                          -1.23916583867381258016E0};
constexpr double kQ0[] = {1.95448858338141759834E0, 4.67627912898881538453E0,
                          8.63602421390890590575E1, -2.25462687854119370527E2,
                          2.00260212380060660359E2, -8.20372256168333339912E1,
                          1.59056225126211695515E1, -1.18331621121330003142E0};
// Tail, z = sqrt(-2 log y) in [2, 8): y between exp(-32) and exp(-2).
constexpr double kP1[] = {
    4.05544892305962419923E0,   3.15251094599893866154E1,   5.71628192246421288162E1,
    4.40805073893200834700E1,   1.46849561928858024014E1,   2.18663306850790267539E0,
    -1.40256079171354495875E-1, -3.50424626827848203418E-2, -8.57456785154685413611E-4};
constexpr double kQ1[] = {1.57799883256466749731E1,   4.53907635128879210584E1,
                          4.13172038254672030440E1,   1.50425385692907503408E1,
                          2.50464946208309415979E0,   -1.42182922854787788574E-1,
                          -3.80806407691578277194E-2, -9.33259480895457427372E-4};
// Far tail, z in [8, 64): y below exp(-32).
constexpr double kP2[] = {
    3.23774891776946035970E0,  6.91522889068984211695E0,  3.93881025292474443415E0,
    1.33303460815807542389E0,  2.01485389549179081538E-1, 1.23716634817820021358E-2,
    3.01581553508235416007E-4, 2.65806974686737550832E-6, 6.23974539184983293730E-9};
constexpr double kQ2[] = {6.02427039364742014255E0,  3.67983563856160859403E0,
                          1.37702099489081330271E0,  2.16236993594496635890E-1,
                          1.34204006088543189037E-2, 3.28014464682127739104E-4,
                          2.89247864745380683936E-6, 6.79019408009981274425E-9};

// exp(-2): the edge of the central region.
constexpr double kExpMinus2 = 0.13533528323661269189;
constexpr double kFarTailZ = 8.0;

}  // namespace

double ndtri(double y0) {
  if (y0 == 0.0) return -std::numeric_limits<double>::infinity();
  if (y0 == 1.0) return std::numeric_limits<double>::infinity();
  if (y0 < 0.0 || y0 > 1.0) return std::numeric_limits<double>::quiet_NaN();

  bool lower_tail = true;
  double y = y0;
  if (y > (1.0 - kExpMinus2)) {
    y = 1.0 - y;
    lower_tail = false;
  }

  if (y > kExpMinus2) {
    y = y - 0.5;
    const double y2 = y * y;
    const double x = y + y * (y2 * polevl(y2, kP0) / p1evl(y2, kQ0));
    return x * kSqrt2Pi;
  }

  const double x = std::sqrt(-2.0 * std::log(y));
  const double x0 = x - std::log(x) / x;
  const double z = 1.0 / x;
  const double x1 =
      x < kFarTailZ ? z * polevl(z, kP1) / p1evl(z, kQ1) : z * polevl(z, kP2) / p1evl(z, kQ2);
  const double result = x0 - x1;
  return lower_tail ? -result : result;
}

double normal_isf(double q) {
  // Outside [0, 1] SciPy returns its own positive NaN, not a negated one.
  if (!(q >= 0.0 && q <= 1.0)) return std::numeric_limits<double>::quiet_NaN();
  return -ndtri(q);
}

}  // namespace quenfa::blitz::compat
