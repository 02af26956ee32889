#include "quenfa/stats/enrichment_statistics.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "quenfa/stats/special_functions.hpp"

namespace quenfa::stats {

EsPeak enrichment_score(std::span<const double> w, std::span<const std::size_t> hits, std::size_t n,
                        ScoreType score_type) {
  const std::size_t k = hits.size();
  if (k == 0) return {0, 0.0};
  if (k == n) return {hits[0], 0.0};

  double ns = 0.0;
  for (std::size_t h : hits) ns += std::fabs(w[h]);
  const double d = static_cast<double>(n - k);

  double max = -std::numeric_limits<double>::infinity();
  double min = std::numeric_limits<double>::infinity();
  std::size_t e = 0, c = 0;
  const bool unit_hits = (ns == 0.0);  // NaN is not 0: weights are used
  const double inv_k = 1.0 / static_cast<double>(k);
  double running = 0.0;
  for (std::size_t j = 0; j < k; ++j) {
    const double misses_before = static_cast<double>(hits[j] - j) / d;
    double top, bottom;
    if (!unit_hits) {
      const double step = std::fabs(w[hits[j]]);
      running += step;
      top = running / ns - misses_before;
      bottom = top - step / ns;
    } else {
      top = static_cast<double>(j + 1) * inv_k - misses_before;
      bottom = top - inv_k;
    }
    if (top > max) {
      max = top;
      e = hits[j];
    }
    if (bottom < min) {
      min = bottom;
      c = hits[j];
    }
  }
  switch (score_type) {
    case ScoreType::Pos:
      return {e, max};
    case ScoreType::Neg:
      return {c, min};
    case ScoreType::Std:
      break;
  }
  if (max == -min) return {hits[0], 0.0};
  if (max > -min) return {e, max};
  return {c, min};  // includes every case with a NaN
}

std::vector<std::string> leading_edge(std::span<const std::size_t> hits, std::size_t peak,
                                      ScoreType score_type, const std::vector<std::string>& genes,
                                      double es) {
  bool top_side;
  switch (score_type) {
    case ScoreType::Pos:
      top_side = true;
      break;
    case ScoreType::Neg:
      top_side = false;
      break;
    default:
      if (es > 0) {
        top_side = true;
      } else if (es < 0) {
        top_side = false;
      } else {
        return {};
      }
  }
  std::vector<std::string> out;
  if (top_side) {
    for (std::size_t h : hits) {
      if (h > peak) break;
      out.push_back(genes[h]);
    }
  } else {
    for (auto it = hits.rbegin(); it != hits.rend() && *it >= peak; ++it) out.push_back(genes[*it]);
  }
  return out;
}

PermutationSide permutation_side(const PermutationCounters& c, double es, ScoreType score_type) {
  switch (score_type) {
    case ScoreType::Neg:
      return {c.le, c.le_zero};
    case ScoreType::Pos:
      return {c.ge, c.ge_zero};
    case ScoreType::Std:
      break;
  }
  return {es > 0 ? c.ge : c.le, es >= 0 ? c.ge_zero : c.le_zero};
}

std::optional<double> normalized_enrichment_score(double es, const PermutationCounters& c,
                                                  ScoreType score_type) {
  const double le_mean = c.le_zero > 0 ? c.le_zero_sum / static_cast<double>(c.le_zero) : 0.0;
  const double ge_mean = c.ge_zero > 0 ? c.ge_zero_sum / static_cast<double>(c.ge_zero) : 0.0;
  switch (score_type) {
    case ScoreType::Std:
      if (es > 0 && ge_mean != 0) return es / ge_mean;
      if (es <= 0 && le_mean != 0) return es / std::fabs(le_mean);
      return std::nullopt;
    case ScoreType::Pos:
      if (ge_mean != 0 && es >= 0) return es / ge_mean;
      return std::nullopt;
    case ScoreType::Neg:
      if (le_mean != 0 && es <= 0) return es / std::fabs(le_mean);
      return std::nullopt;
  }
  return std::nullopt;
}

void apply_bh_adjustment(std::span<EnrichmentResult> records) {
  std::vector<std::size_t> finite;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (std::isfinite(records[i].pval)) finite.push_back(i);
  }
  if (finite.empty()) return;
  std::stable_sort(finite.begin(), finite.end(),
                   [&](std::size_t a, std::size_t b) { return records[a].pval < records[b].pval; });
  const double m = static_cast<double>(records.size());
  double running_min = 1.0;
  for (std::size_t r = finite.size(); r >= 1; --r) {
    EnrichmentResult& rec = records[finite[r - 1]];
    const double q = rec.pval * m / static_cast<double>(r);
    if (q < running_min) running_min = q;  // a NaN q leaves the minimum unchanged
    rec.padj = std::min(running_min, 1.0);
  }
}

void sort_records_by_pathway(std::span<EnrichmentResult> records) {
  // std::string compares as unsigned bytes.
  std::stable_sort(
      records.begin(), records.end(),
      [](const EnrichmentResult& a, const EnrichmentResult& b) { return a.pathway < b.pathway; });
}

bool should_refine_multilevel(std::uint64_t a, std::uint64_t b, std::uint64_t permutations,
                              std::uint64_t sample_size, double pval) {
  if (b < 10) return false;
  if (!std::isfinite(pval) || permutations == 0) return false;

  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double fa = static_cast<double>(a);
  const double d = static_cast<double>(permutations) - fa;

  double lower;
  if (a == 0) {
    lower = -inf;
  } else if (1.0 + d <= 0) {
    lower = 0.0;
  } else if (1.0 + d == inf) {
    lower = nan;
  } else {
    lower = std::log2(beta_quantile(fa, d + 1.0, 0.025));
  }
  double upper;
  if (fa + 1.0 <= 0) {
    upper = -inf;
  } else if (d <= 0) {
    upper = 0.0;
  } else if (fa + 1.0 == inf || d == inf) {
    upper = nan;
  } else {
    upper = std::log2(beta_quantile(fa + 1.0, d, 0.975));
  }

  const double p_hat = (fa + 1.0) / (static_cast<double>(permutations) + 1.0);
  const double c = std::log2(p_hat);
  // The larger half-width, a NaN side ignored; with both sides NaN the lower
  // one is kept (NaN as well).
  const double widest = std::fmax(c - lower, upper - c);
  const double half = std::isnan(widest) ? 0.5 * (c - lower) : 0.5 * widest;
  double t;
  if (p_hat == 0.0 || !std::isfinite(p_hat)) {
    t = nan;
  } else {
    const double n1 = static_cast<double>(sample_size) + 1.0;
    t = std::sqrt((trigamma(n1 * 0.5) - trigamma(n1)) * std::floor(1.0 - c)) / 0.6931471805599453;
  }
  return half > t;
}

}  // namespace quenfa::stats
