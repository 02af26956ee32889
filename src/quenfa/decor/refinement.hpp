// Refinement of the permutation P-values that the null distribution cannot
// resolve, by the decor multilevel tail estimator.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "quenfa/core/score_type.hpp"
#include "quenfa/stats/pathway_record.hpp"

namespace quenfa::decor {

struct RefinementSettings {
  std::span<const double> weights;
  std::size_t n = 0;  // ranked genes
  ScoreType score_type = ScoreType::Std;
  std::uint64_t nperm = 0;
  std::uint64_t sample_size = 3;  // at least 3
  double eps = 0.0;               // in [0, 1] or NaN
  std::uint64_t seed = 0;
};

// Kept indices whose finite P-value should_refine_multilevel sends on, in
// kept order.
std::vector<std::size_t> select_for_refinement(const std::vector<stats::PathwayRecord>& kept,
                                               std::uint64_t nperm, std::uint64_t sample_size);

// Estimates the selected pathways in parallel (each with its own stream,
// seeded by its kept index) and writes back P-value and error; a pathway
// whose estimation fails keeps its permutation values. Nothing when nperm is 0.
void refine_decor_pvalues(std::vector<stats::PathwayRecord>& kept,
                          const RefinementSettings& settings);

}  // namespace quenfa::decor
