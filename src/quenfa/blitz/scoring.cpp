#include "quenfa/blitz/scoring.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "quenfa/blitz/compat/igam.hpp"
#include "quenfa/blitz/compat/ndtri.hpp"
#include "quenfa/blitz/compat/numpy_pairwise_sum.hpp"
#include "quenfa/blitz/tail_fallback.hpp"

namespace quenfa::blitz {

namespace {

// CDF values beyond these are recomputed at high precision.
constexpr double kCdfHigh = 0.999999999;
constexpr double kCdfLow = 1e-11;

// The second operand when the first is NaN.
double min_second_on_nan(double a, double b) {
  return a < b ? a : b;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A tail of 0 means no P-value could be computed: the CDF or the positive
// ratio was NaN (the min rule turns NaN into 0), the model gives this side no
// probability at all (its calibration saw no score there), or the tail lies
// below the smallest double. Both become NaN rather than 0.
void without_p_value_unless_positive_tail(GammaTail& t) {
  if (!(t.tail > 0)) t.tail = t.pvalue = kNaN;
}

struct Walk {
  double max = -std::numeric_limits<double>::infinity();
  std::size_t rmax = 0;
  double min = std::numeric_limits<double>::infinity();
  std::size_t rmin = 0;
  double es = std::numeric_limits<double>::quiet_NaN();
  double es_abs = -std::numeric_limits<double>::infinity();

  void consider(double value, std::size_t position) {
    if (value >= max) {  // equal values move the peak to the later position
      max = value;
      rmax = position;
    }
    if (value <= min) {
      min = value;
      rmin = position;
    }
    if (std::fabs(value) > es_abs) {
      es_abs = std::fabs(value);
      es = value;
    }
  }
};

// The running sum over all positions: hits add their weight share, each miss
// subtracts nm. A run of misses only falls, so only its first and last
// values are considered (the first before the last).
Walk walk_running_sum(const std::vector<double>& abs, const std::vector<std::size_t>& sorted_hits,
                      double nh, double nm) {
  Walk walk;
  double running = 0.0;
  std::size_t pos = 0;
  const auto miss_run = [&](std::size_t end) {
    if (pos == end) return;
    const std::size_t first = pos;
    running -= nm;
    walk.consider(running, first);
    for (++pos; pos < end; ++pos) running -= nm;
    if (end - first > 1) walk.consider(running, end - 1);
  };
  for (std::size_t h : sorted_hits) {
    miss_run(h);
    running += abs[h] * nh;
    walk.consider(running, h);
    pos = h + 1;
  }
  miss_run(abs.size());
  return walk;
}

// Leading-edge genes: the hits within the peak's range, in the slot order of
// a Python int set filled with them.
std::vector<std::string> blitz_leading_edge(const BlitzSignature& signature,
                                            const CleanedPathway& pathway, const Walk& walk,
                                            PythonIntSet& edge) {
  const std::size_t n = signature.abs_scores.size();
  std::size_t lo, hi;  // the range [lo, hi)
  if (walk.max > std::fabs(walk.min)) {
    lo = 0;
    hi = walk.rmax;
  } else {
    lo = walk.rmin;
    hi = n;
  }
  edge.clear();
  if (hi - lo < pathway.hit_set.used()) {
    for (std::size_t p = lo; p < hi; ++p) {
      if (pathway.hit_set.contains(p)) edge.insert(p);
    }
  } else {
    for (std::uint64_t p : pathway.hit_set) {
      if (p >= lo && p < hi) edge.insert(p);
    }
  }
  std::vector<std::string> genes;
  genes.reserve(edge.used());
  for (std::uint64_t p : edge) genes.push_back(signature.names[p]);
  return genes;
}

}  // namespace

double blitz_hit_total(std::span<const double> h) {
  if (h.size() == 7) return (h[0] + (h[1] + h[2])) + ((h[3] + h[4]) + (h[5] + h[6]));
  return compat::numpy_pairwise_sum_f64(h);
}

Result<GammaTail> gamma_tail_probability_with_fallback_flag(TailSide side,
                                                            std::uint64_t deep_accuracy, double x,
                                                            double alpha, double beta,
                                                            double pos_ratio) {
  double cdf = std::numeric_limits<double>::quiet_NaN();
  bool fallback = false;
  const bool valid = std::isfinite(x) && std::isfinite(alpha) && alpha > 0 && std::isfinite(beta) &&
                     beta > 0 && !(x / beta < 0);
  if (valid) {
    const double z = x / beta;
    if (z == std::numeric_limits<double>::infinity() || z == 0) {
      fallback = true;
    } else {
      cdf = compat::igam(alpha, z);
    }
  }
  if (fallback || cdf > kCdfHigh || cdf < kCdfLow) {
    auto deep = high_precision_tail(side, deep_accuracy, x, alpha, beta, pos_ratio);
    if (deep) without_p_value_unless_positive_tail(deep.value());
    return deep;
  }
  const double g = pos_ratio;
  double tail;
  if (side == TailSide::Positive) {
    tail = min_second_on_nan(1 - min_second_on_nan((g * cdf + 1) - g, 1), 0.5);
  } else {
    const double v = min_second_on_nan(1 - min_second_on_nan(g + (cdf - g * cdf), 1), 0.5);
    tail = v == 0.5 ? 0.5 - cdf : v;
  }
  GammaTail result{cdf, 1 - cdf, tail, min_second_on_nan(tail + tail, 1), false};
  without_p_value_unless_positive_tail(result);
  return result;
}

Result<ScoredBlitzPathway> score_cleaned_pathway(const BlitzSignature& signature,
                                                 const CleanedPathway& pathway,
                                                 const BlitzModelParams& params,
                                                 std::uint64_t deep_accuracy,
                                                 BlitzScoreScratch& scratch) {
  const std::vector<double>& abs = signature.abs_scores;
  const std::size_t n = abs.size();
  const std::size_t k = pathway.hits.size();
  scratch.hit_values.clear();
  for (std::size_t h : pathway.hits) scratch.hit_values.push_back(abs[h]);
  const double total = blitz_hit_total(scratch.hit_values);
  const double nh = total != 0 ? 1 / total : 0.0;  // a NaN total also takes 1/total
  const double nm = k < n ? 1 / static_cast<double>(n - k) : 0.0;
  const Walk walk = walk_running_sum(abs, pathway.sorted_hits, nh, nm);

  ScoredBlitzPathway scored;
  EnrichmentResult& r = scored.record;
  r.pathway = pathway.name;
  r.size = k;
  r.es = walk.es;
  r.leading_edge = blitz_leading_edge(signature, pathway, walk, scratch.leading_edge);

  const bool positive = walk.es > 0;
  auto tail = positive
                  ? gamma_tail_probability_with_fallback_flag(TailSide::Positive, deep_accuracy,
                                                              walk.es, params.alpha_pos,
                                                              params.beta_pos, params.pos_ratio)
                  : gamma_tail_probability_with_fallback_flag(TailSide::Negative, deep_accuracy,
                                                              -walk.es, params.alpha_neg,
                                                              params.beta_neg, params.pos_ratio);
  if (!tail) return Error{tail.error()};
  double nes = compat::normal_isf(tail.value().tail);
  if (!positive) nes = -nes;
  if (nes == 0) nes = -0.0;  // a zero NES is always stored negative
  r.nes = nes;
  r.pval = tail.value().pvalue;
  scored.gamma_fallback_calls = tail.value().fallback ? 1 : 0;
  return scored;
}

}  // namespace quenfa::blitz
