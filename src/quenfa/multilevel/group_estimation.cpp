#include "quenfa/multilevel/group_estimation.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "quenfa/core/internal_fault.hpp"
#include "quenfa/stats/special_functions.hpp"

namespace quenfa::multilevel {

namespace {

double mode_fraction(std::uint64_t mode_count, std::uint64_t permutations) {
  return (static_cast<double>(mode_count) + 1.0) / (static_cast<double>(permutations) + 1.0);
}

}  // namespace

double ruler_pvalue(const MultilevelRuler& ruler, double t, ScoreType score_type) {
  if (ruler.levels.empty()) return std::numeric_limits<double>::quiet_NaN();
  const std::int64_t target = scale_target(t);
  const std::uint64_t n_sets = ruler.sample_size;

  double log_p = 0.0;
  const Level* reached = nullptr;
  for (const Level& level : ruler.levels) {
    if (reaches_target(level.threshold, target)) {
      reached = &level;
      break;
    }
    log_p += neg_harmonic_sum(level.above.size() + 1, n_sets);
  }

  // Sets of the cut population at or over t; all of `above` counts at the
  // reached level, only the qualifying ones of the last level otherwise.
  std::uint64_t count = 0;
  std::uint64_t count_non_negative = 0;
  auto tally = [&](const std::vector<LevelEntry>& entries, bool all) {
    for (const LevelEntry& e : entries) {
      if (all || reaches_target(e.gsea, target)) {
        ++count;
        if (e.non_negative) ++count_non_negative;
      }
    }
  };
  if (reached != nullptr) {
    tally(reached->above, true);
    tally(reached->below, false);
  } else {
    tally(ruler.levels.back().above, false);
  }

  const std::uint64_t used = score_type == ScoreType::Std ? count_non_negative : count;
  log_p += neg_harmonic_sum(used == 0 ? 1 : used, n_sets);
  return std::min(1.0, std::exp(log_p));
}

std::vector<double> estimate_multilevel_group(const std::vector<std::int64_t>& int_weights,
                                              std::size_t pathway_size, std::span<const double> es,
                                              std::span<const std::uint64_t> mode_counts,
                                              std::uint64_t permutations, double eps,
                                              ScoreType score_type, std::uint64_t sample_size,
                                              std::uint64_t seed, const runtime::RunMonitor& run) {
  QUENFA_ENSURE(es.size() == mode_counts.size(),
                "estimate_multilevel_group: one mode count per pathway");
  if (pathway_size == 0 || int_weights.empty()) return std::vector<double>(es.size(), 1.0);

  double min_fraction = std::numeric_limits<double>::infinity();
  for (std::uint64_t z : mode_counts)
    min_fraction = std::min(min_fraction, mode_fraction(z, permutations));

  MultilevelRuler positive = MultilevelRuler::create(int_weights, sample_size, pathway_size);
  MultilevelRuler negative =
      MultilevelRuler::create(std::vector<std::int64_t>(int_weights.rbegin(), int_weights.rend()),
                              sample_size, pathway_size);

  double max_es = -std::numeric_limits<double>::infinity();
  double min_es = std::numeric_limits<double>::infinity();
  for (double v : es) {
    if (std::isnan(v)) continue;
    max_es = std::max(max_es, v);
    min_es = std::min(min_es, v);
  }
  // Both directions use the same 32-bit seed, each with its own stream.
  const auto seed32 = static_cast<std::uint32_t>(seed);
  const double eps_bound = eps * min_fraction;
  if (max_es >= 0) positive.extend(seed32, std::fabs(max_es), eps_bound, run);
  if (min_es < 0) negative.extend(seed32, std::fabs(min_es), eps_bound, run);

  std::vector<double> raw(es.size());
  for (std::size_t i = 0; i < es.size(); ++i) {
    raw[i] = ruler_pvalue(es[i] < 0 ? negative : positive, std::fabs(es[i]), score_type);
  }
  return raw;
}

MultilevelPvalue finalize_multilevel_pvalue(double raw, std::uint64_t mode_count,
                                            std::uint64_t permutations, double eps,
                                            std::uint64_t sample_size) {
  double p = std::min(raw / mode_fraction(mode_count, permutations), 1.0);
  if (std::isnan(p)) p = 1.0;
  if (p < eps) return {eps, std::nullopt};
  if (p > 0 && std::isfinite(p)) {
    const double n1 = static_cast<double>(sample_size) + 1.0;
    return {p, std::sqrt((stats::trigamma(n1 * 0.5) - stats::trigamma(n1)) *
                         std::floor(1.0 - std::log2(p))) /
                   std::numbers::ln2};
  }
  return {p, std::numeric_limits<double>::quiet_NaN()};
}

}  // namespace quenfa::multilevel
