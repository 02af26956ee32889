// The null model as five smooth curves over set size: lowess-smoothed anchor
// fits, interpolated linearly between anchors.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quenfa::blitz {

struct AnchorFit;

struct LinearInterp {
  std::vector<double> xs;  // knots, ascending and distinct
  std::vector<double> ys;

  // Linear interpolation, extrapolated from the first or last segment.
  double at(double x) const;
};

struct BlitzModel {
  LinearInterp alpha_pos;  // lowess span 0.6
  LinearInterp beta_pos;   // 0.15
  LinearInterp pos_ratio;  // 0.5
  LinearInterp alpha_neg;  // 0.6
  LinearInterp beta_neg;   // 0.15
};

// statsmodels' lowess (three robustifying iterations, delta 0) of ys over xs,
// as an interpolant over xs.
LinearInterp lowess_interpolation(std::span<const double> xs, std::span<const double> ys,
                                  double frac);

// Lowers each positive share by a tiny seeded Gaussian amount (so that equal
// shares do not make the smoother degenerate), then smooths every parameter.
BlitzModel smooth_anchor_fits(const std::vector<std::uint64_t>& sizes,
                              const std::vector<AnchorFit>& fits, std::uint64_t seed);

}  // namespace quenfa::blitz
