#include "quenfa/blitz/smoothing.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "quenfa/blitz/calibration.hpp"
#include "quenfa/blitz/compat/numpy_pairwise_sum.hpp"
#include "quenfa/random/numpy_random.hpp"

namespace quenfa::blitz {

namespace {

// Weights at or below this do not count as support of a local fit.
constexpr double kMinWeight = 1e-12;
constexpr int kLowessPasses = 4;  // one fit and three robustifying iterations

// Median of the absolute residuals (sorted copy; mean of the middle two for
// an even count).
double median_abs_residual(std::span<const double> ys, const std::vector<double>& fit) {
  std::vector<double> r(ys.size());
  for (std::size_t i = 0; i < ys.size(); ++i) r[i] = std::fabs(ys[i] - fit[i]);
  std::sort(r.begin(), r.end());
  const std::size_t n = r.size();
  return n % 2 == 1 ? r[n / 2] : (r[n / 2 - 1] + r[n / 2]) * 0.5;
}

}  // namespace

double LinearInterp::at(double x) const {
  const std::size_t n = xs.size();
  if (n == 0) return std::numeric_limits<double>::quiet_NaN();
  if (n == 1) return ys[0];
  std::size_t i = static_cast<std::size_t>(std::lower_bound(xs.begin(), xs.end(), x) - xs.begin());
  i = std::clamp<std::size_t>(i, 1, n - 1);
  const double l = xs[i - 1], r = xs[i];
  if (l == r) return ys[i - 1];
  return ys[i - 1] * ((r - x) / (r - l)) + ys[i] * ((x - l) / (r - l));
}

LinearInterp lowess_interpolation(std::span<const double> xs, std::span<const double> ys,
                                  double frac) {
  const std::size_t n = xs.size();
  LinearInterp out{std::vector<double>(xs.begin(), xs.end()),
                   std::vector<double>(ys.begin(), ys.end())};
  if (n <= 2) return out;
  const std::size_t k = std::clamp<std::size_t>(
      static_cast<std::size_t>(frac * static_cast<double>(n) + 1e-10), 2, n);
  std::vector<double> rw(n, 1.0), w(n), fit(n);
  for (int pass = 0; pass < kLowessPasses; ++pass) {
    std::size_t left = 0, right = k;
    for (std::size_t i = 0; i < n; ++i) {
      while (right < n && xs[i] > (xs[left] + xs[right]) * 0.5) {
        ++left;
        ++right;
      }
      const double radius = std::max(xs[i] - xs[left], xs[right - 1] - xs[i]);
      std::size_t support = 0;
      for (std::size_t j = left; j < right; ++j) {
        const double t = std::min(1.0, std::max(0.0, std::fabs(xs[j] - xs[i]) / radius));
        const double u = 1.0 - (t * t) * t;
        w[j] = ((u * u) * u) * rw[j];
        support += w[j] > kMinWeight;
      }
      const double sw =
          compat::numpy_pairwise_sum_f64(std::span<const double>(w).subspan(left, right - left));
      if (support >= 2 && !(sw <= 0)) {  // a NaN sum also passes
        double mx = -0.0;
        for (std::size_t j = left; j < right; ++j) {
          w[j] = w[j] / sw;
          mx += w[j] * xs[j];
        }
        double v = -0.0;
        for (std::size_t j = left; j < right; ++j) v += ((xs[j] - mx) * (xs[j] - mx)) * w[j];
        if (!(v > kMinWeight)) v = kMinWeight;
        double f = -0.0;
        for (std::size_t j = left; j < right; ++j) {
          f += (((((xs[j] - mx) * (xs[i] - mx)) / v) + 1) * w[j]) * ys[j];
        }
        fit[i] = f;
      } else {
        fit[i] = ys[i];
      }
    }
    if (pass == kLowessPasses - 1) break;
    const double m = median_abs_residual(ys, fit);
    for (std::size_t i = 0; i < n; ++i) {
      if (m != 0) {
        const double q = std::min(std::fabs(ys[i] - fit[i]) / (6 * m), 1.0);
        const double one_minus = 1 - q * q;
        rw[i] = one_minus * one_minus;
      } else {
        rw[i] = ys[i] == fit[i] ? 1.0 : 0.0;
      }
    }
  }
  out.ys = fit;
  return out;
}

BlitzModel smooth_anchor_fits(const std::vector<std::uint64_t>& sizes,
                              const std::vector<AnchorFit>& fits, std::uint64_t seed) {
  const std::size_t n = sizes.size();
  std::vector<double> xs(n), alpha_pos(n), beta_pos(n), ratio(n), alpha_neg(n), beta_neg(n);
  random::NumpyMt19937 gen = random::numpy_mt19937(seed);
  random::NumpyLegacyGauss gauss;
  for (std::size_t j = 0; j < n; ++j) {
    xs[j] = static_cast<double>(sizes[j]);
    alpha_pos[j] = fits[j].alpha_pos;
    beta_pos[j] = fits[j].beta_pos;
    alpha_neg[j] = fits[j].alpha_neg;
    beta_neg[j] = fits[j].beta_neg;
    const double noise = gauss.next(gen) * 1e-4;
    // fmin/fmax would drop a NaN share; the comparisons keep it.
    const double lowered = fits[j].pos_ratio - std::fabs(noise);
    ratio[j] = std::isnan(lowered) ? lowered : std::min(1.0, std::max(0.0, lowered));
  }
  return BlitzModel{lowess_interpolation(xs, alpha_pos, 0.6),
                    lowess_interpolation(xs, beta_pos, 0.15), lowess_interpolation(xs, ratio, 0.5),
                    lowess_interpolation(xs, alpha_neg, 0.6),
                    lowess_interpolation(xs, beta_neg, 0.15)};
}

}  // namespace quenfa::blitz
