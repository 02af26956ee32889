#include "quenfa/stats/enrichment_statistics.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>

#include "quenfa/stats/special_functions.hpp"

namespace quenfa::stats {

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

namespace {

// The running sum over the hits, with step(i) the height of hit i: the sum
// of the heights is computed first, then each hit's top (after its step) and
// bottom (before it). When every height is 0 each hit steps by 1/k.
template <class Step>
EsPeak running_sum_score(std::span<const std::size_t> hits, std::size_t n, ScoreType score_type,
                         Step step) {
  const std::size_t k = hits.size();
  if (k == 0) return {0, 0.0};
  if (k == n) return {hits[0], 0.0};

  double total = 0.0;
  for (std::size_t i = 0; i < k; ++i) total += step(i);
  const double d = static_cast<double>(n - k);
  const bool unit_steps = (total == 0.0);  // a NaN total is not 0: the heights are used
  const double inv_k = 1.0 / static_cast<double>(k);

  double max = -std::numeric_limits<double>::infinity();
  double min = std::numeric_limits<double>::infinity();
  std::size_t max_at = 0, min_at = 0;
  double running = 0.0;
  for (std::size_t i = 0; i < k; ++i) {
    const double misses_before = static_cast<double>(hits[i] - i) / d;
    double top, bottom;
    if (!unit_steps) {
      const double height = step(i);
      running += height;
      top = running / total - misses_before;
      bottom = top - height / total;
    } else {
      top = static_cast<double>(i + 1) * inv_k - misses_before;
      bottom = top - inv_k;
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
      return {hits[max_at], max};
    case ScoreSide::Bottom:
      return {hits[min_at], min};
    case ScoreSide::Tie:
      break;
  }
  return {hits[0], 0.0};
}

}  // namespace

EsPeak enrichment_score(std::span<const double> w, std::span<const std::size_t> hits, std::size_t n,
                        ScoreType score_type, std::span<const double> penalties) {
  if (penalties.empty()) {
    return running_sum_score(hits, n, score_type,
                             [&](std::size_t i) { return std::fabs(w[hits[i]]); });
  }
  return running_sum_score(hits, n, score_type,
                           [&](std::size_t i) { return std::fabs(w[hits[i]]) * penalties[i]; });
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

void apply_bh_adjustment(std::span<EnrichmentResult> records, BhDenominator denominator) {
  std::vector<std::size_t> finite;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (std::isfinite(records[i].pval)) finite.push_back(i);
  }
  std::stable_sort(finite.begin(), finite.end(),
                   [&](std::size_t a, std::size_t b) { return records[a].pval < records[b].pval; });
  const bool all = denominator == BhDenominator::AllRecords;
  if (!all) {
    // Left out of the count, a record without a P-value has nothing to adjust.
    for (EnrichmentResult& rec : records) {
      if (!std::isfinite(rec.pval)) rec.padj = std::numeric_limits<double>::quiet_NaN();
    }
  }
  const double m = static_cast<double>(all ? records.size() : finite.size());
  double running_min = 1.0;
  for (std::size_t r = finite.size(); r >= 1; --r) {
    EnrichmentResult& rec = records[finite[r - 1]];
    const double rank = static_cast<double>(r);
    const double q = all ? rec.pval * m / rank : rec.pval / (rank / m);
    if (q < running_min) running_min = q;  // a NaN q leaves the minimum unchanged
    rec.padj = running_min;                // never above 1: the minimum starts there
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
    t = std::sqrt((trigamma(n1 * 0.5) - trigamma(n1)) * std::floor(1.0 - c)) / std::numbers::ln2;
  }
  return half > t;
}

}  // namespace quenfa::stats
