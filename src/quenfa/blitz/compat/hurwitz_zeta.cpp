#include "quenfa/blitz/compat/hurwitz_zeta.hpp"

#include <cmath>
#include <limits>

#include "quenfa/blitz/compat/cephes_constants.hpp"

namespace quenfa::blitz::compat {
namespace {

// (2j)! / B_2j for j = 1..12, the Euler-Maclaurin coefficients.
constexpr double kEulerMaclaurin[] = {12.0,
                                      -720.0,
                                      30240.0,
                                      -1209600.0,
                                      47900160.0,
                                      -1.8924375803183791606e9,
                                      7.47242496e10,
                                      -2.950130727918164224e12,
                                      1.1646782814350067249e14,
                                      -4.5979787224074726105e15,
                                      1.8152105401943546773e17,
                                      -7.1661652561756670113e18};

constexpr double kAsymptoticQ = 1e8;
// Terms summed directly before the tail: at least nine, and until k + q > 9.
constexpr int kDirectTerms = 9;
constexpr double kDirectUntil = 9.0;

}  // namespace

double hurwitz_zeta(double x, double q) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  if (x == 1.0) return inf;
  if (x < 1.0) return nan;
  if (q <= 0.0) {
    if (q == std::floor(q)) return inf;
    if (x != std::floor(x)) return nan;
  }
  if (q > kAsymptoticQ) {
    return (1 / (x - 1) + 1 / (2 * q)) * std::pow(q, 1 - x);
  }

  double s = std::pow(q, -x);
  double a = q;
  double b = 0.0;
  for (int i = 0; i < kDirectTerms || a <= kDirectUntil;) {
    ++i;
    a += 1.0;
    b = std::pow(a, -x);
    s += b;
    if (std::fabs(b / s) < kMachEp) return s;
  }

  const double w = a;
  s += b * w / (x - 1.0);
  s -= 0.5 * b;
  a = 1.0;
  double k = 0.0;
  for (const double coefficient : kEulerMaclaurin) {
    a *= x + k;
    b /= w;
    double t = a * b / coefficient;
    s = s + t;
    t = std::fabs(t / s);
    if (t < kMachEp) break;
    k += 1.0;
    a *= x + k;
    b /= w;
    k += 1.0;
  }
  return s;
}

}  // namespace quenfa::blitz::compat
