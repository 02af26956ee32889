// Scoring of one cleaned pathway against the fitted null model: enrichment
// score, leading edge, gamma tail probability and normalised score.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "quenfa/blitz/python_set.hpp"
#include "quenfa/blitz/signature.hpp"
#include "quenfa/core/enrichment_result.hpp"
#include "quenfa/core/result.hpp"

namespace quenfa::blitz {

// The null model at one pathway size.
struct BlitzModelParams {
  double alpha_pos = 0.0;
  double beta_pos = 0.0;
  double pos_ratio = 0.0;
  double alpha_neg = 0.0;
  double beta_neg = 0.0;
};

struct GammaTail {
  double cdf = 0.0;
  double one_minus_cdf = 0.0;
  double tail = 0.0;
  double pvalue = 0.0;
  bool fallback = false;  // computed at high precision
};

enum class TailSide : int { Positive = 0, Negative = 1 };

// Tail probability of a score x on one side under the gamma(alpha, beta)
// share of that side (pos_ratio positive); extreme CDF values are recomputed
// with `deep_accuracy` decimal digits.
Result<GammaTail> gamma_tail_probability_with_fallback_flag(TailSide side,
                                                            std::uint64_t deep_accuracy, double x,
                                                            double alpha, double beta,
                                                            double pos_ratio);

// Total weight of a pathway's hits: NumPy's pairwise sum, except seven
// values, which are added as (h0 + (h1 + h2)) + ((h3 + h4) + (h5 + h6)).
double blitz_hit_total(std::span<const double> h);

// Per-thread buffers of the scoring.
struct BlitzScoreScratch {
  std::vector<double> hit_values;
  PythonIntSet leading_edge;
};

struct ScoredBlitzPathway {
  EnrichmentResult record;
  std::uint64_t gamma_cdf_calls = 1;
  std::uint64_t gamma_fallback_calls = 0;
};

Result<ScoredBlitzPathway> score_cleaned_pathway(const BlitzSignature& signature,
                                                 const CleanedPathway& pathway,
                                                 const BlitzModelParams& params,
                                                 std::uint64_t deep_accuracy,
                                                 BlitzScoreScratch& scratch);

}  // namespace quenfa::blitz
