// Brent's root finder as scipy.optimize.brentq runs it (SciPy's C routine
// brentq.c), with brentq's default tolerances.
#pragma once

#include <cmath>
#include <limits>

namespace quenfa::blitz::compat {

// brentq's defaults: xtol = 2e-12, rtol = 4 * DBL_EPSILON, 100 iterations.
inline constexpr double kBrentXtol = 2e-12;
inline constexpr double kBrentRtol = 4 * std::numeric_limits<double>::epsilon();
inline constexpr int kBrentMaxIter = 100;

// A root of f in [xa, xb]. f(xa) and f(xb) must be finite with different
// sign bits, or one of them zero (then that end is returned); otherwise there
// is no bracket and the result is NaN (brentq raises there; callers choose
// their own fallback before calling).
//
// Each step keeps the bracket [xcur, xblk] with |f(xcur)| <= |f(xblk)| and the
// previous point xpre; it tries inverse quadratic interpolation (the secant
// when xpre = xblk), accepts the step s when 2|s| < min(|previous step|,
// 3|bisection step| - delta), and bisects otherwise; steps shorter than
// delta = (xtol + rtol |xcur|) / 2 are lengthened to delta. It stops when
// f(xcur) = 0 or half the bracket is below delta, and after 100 steps returns
// the latest point (brentq would raise).
template <class F>
double brent_root(F&& f, double xa, double xb) {
  double xpre = xa;
  double xcur = xb;
  double fpre = f(xpre);
  double fcur = f(xcur);
  if (fpre == 0) return xpre;
  if (fcur == 0) return xcur;
  if (!std::isfinite(fpre) || !std::isfinite(fcur) || std::signbit(fpre) == std::signbit(fcur)) {
    return std::numeric_limits<double>::quiet_NaN();
  }

  double xblk = 0.0;
  double fblk = 0.0;
  double spre = 0.0;
  double scur = 0.0;
  for (int i = 0; i < kBrentMaxIter; ++i) {
    if (fpre != 0 && fcur != 0 && std::signbit(fpre) != std::signbit(fcur)) {
      xblk = xpre;
      fblk = fpre;
      spre = scur = xcur - xpre;
    }
    if (std::fabs(fblk) < std::fabs(fcur)) {
      xpre = xcur;
      xcur = xblk;
      xblk = xpre;
      fpre = fcur;
      fcur = fblk;
      fblk = fpre;
    }

    const double delta = (kBrentXtol + kBrentRtol * std::fabs(xcur)) / 2;
    const double sbis = (xblk - xcur) / 2;
    if (fcur == 0 || std::fabs(sbis) < delta) return xcur;

    if (std::fabs(spre) > delta && std::fabs(fcur) < std::fabs(fpre)) {
      double stry = 0.0;
      if (xpre == xblk) {
        // Secant step.
        stry = -fcur * (xcur - xpre) / (fcur - fpre);
      } else {
        // Inverse quadratic interpolation.
        const double dpre = (fpre - fcur) / (xpre - xcur);
        const double dblk = (fblk - fcur) / (xblk - xcur);
        stry = -fcur * (fblk * dblk - fpre * dpre) / (dblk * dpre * (fblk - fpre));
      }
      // min(a, b) written as SciPy's MIN macro, which picks b when a < b fails.
      const double limit_a = std::fabs(spre);
      const double limit_b = 3 * std::fabs(sbis) - delta;
      if (2 * std::fabs(stry) < (limit_a < limit_b ? limit_a : limit_b)) {
        spre = scur;
        scur = stry;
      } else {
        spre = sbis;
        scur = sbis;
      }
    } else {
      spre = sbis;
      scur = sbis;
    }

    xpre = xcur;
    fpre = fcur;
    if (std::fabs(scur) > delta) {
      xcur += scur;
    } else {
      xcur += (sbis > 0 ? delta : -delta);
    }
    fcur = f(xcur);
  }
  return xcur;
}

}  // namespace quenfa::blitz::compat
