#include "quenfa/decor/decor_score.hpp"

#include <cmath>
#include <limits>

namespace quenfa::decor {

ScoreSide score_side(double max, double min, ScoreType score_type) {
  switch (score_type) {
    case ScoreType::Pos:
      return ScoreSide::Top;
    case ScoreType::Neg:
      return ScoreSide::Bottom;
    case ScoreType::Std:
      break;
  }
  if (max == -min) return ScoreSide::Tie;
  return max > -min ? ScoreSide::Top : ScoreSide::Bottom;
}

stats::EsPeak calculate_es_decor_prechecked(std::span<const double> w,
                                            std::span<const std::size_t> h,
                                            std::span<const double> p, std::size_t n,
                                            ScoreType score_type) {
  const std::size_t k = h.size();
  if (k == 0) return {0, 0.0};
  if (k == n) return {h[0], 0.0};

  double nr = 0.0;
  for (std::size_t i = 0; i < k; ++i) nr += std::fabs(w[h[i]]) * p[i];
  const double d = static_cast<double>(n - k);
  const bool unit_steps = (nr == 0.0);  // a NaN sum is not 0: steps are used
  const double o = 1.0 / static_cast<double>(k);

  double max = -std::numeric_limits<double>::infinity();
  double min = std::numeric_limits<double>::infinity();
  std::size_t max_at = 0, min_at = 0;
  double running = 0.0;
  for (std::size_t i = 0; i < k; ++i) {
    const double misses_before = static_cast<double>(h[i] - i) / d;
    double top, bottom;
    if (!unit_steps) {
      const double c = std::fabs(w[h[i]]) * p[i];
      running += c;
      top = running / nr - misses_before;
      bottom = top - c / nr;
    } else {
      top = static_cast<double>(i + 1) * o - misses_before;
      bottom = top - o;
    }
    // Strict comparisons: the first index reaching an extreme keeps it.
    if (top > max) {
      max = top;
      max_at = i;
    }
    if (bottom < min) {
      min = bottom;
      min_at = i;
    }
  }
  switch (score_side(max, min, score_type)) {
    case ScoreSide::Top:
      return {h[max_at], max};
    case ScoreSide::Bottom:
      return {h[min_at], min};
    case ScoreSide::Tie:
      break;
  }
  return {h[0], 0.0};
}

}  // namespace quenfa::decor
