// Exact multilevel splitting estimator: P-values of enrichment scores far
// below what permutations resolve, for one group of same-size pathways.
//
// Per group, one ruler per direction (the weights in rank order for positive
// scores, reversed for negative ones) is extended to the most extreme score of
// the group; each pathway's P-value is the product of the level probabilities
// up to its score, summed in log space.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "quenfa/core/score_type.hpp"
#include "quenfa/multilevel/ordering.hpp"
#include "quenfa/multilevel/ruler.hpp"

namespace quenfa::multilevel {

// One raw P-value per pathway of a group of pathways of size pathway_size, in
// input order. es and mode_counts (the permutations on each score's side) are
// parallel; permutations is their count; eps lies in [0, 1] or is NaN;
// sample_size is the population size N; the rulers use the low 32 bits of
// seed. No pathway size or no genes gives 1.0 for every pathway; a direction
// with no level (every random set equal, as for k = n or N = 1) gives NaN.
// Stops with RunInterrupted between levels once `run` is stopped.
std::vector<double> estimate_multilevel_group(const std::vector<std::int64_t>& int_weights,
                                              std::size_t pathway_size, std::span<const double> es,
                                              std::span<const std::uint64_t> mode_counts,
                                              std::uint64_t permutations, double eps,
                                              ScoreType score_type, std::uint64_t sample_size,
                                              std::uint64_t seed, const runtime::RunMonitor& run);

// The raw P-value of one pathway against an extended ruler (t = |ES|).
double ruler_pvalue(const MultilevelRuler& ruler, double t, ScoreType score_type);

struct MultilevelPvalue {
  double pval;
  std::optional<double> log2err;  // absent when pval was floored at eps
};

// The reported P-value of a refined pathway and the expected error of its
// log2: the raw value over the pathway's permutation fraction (z+1)/(P+1),
// capped at 1 (NaN gives 1) and floored at eps.
MultilevelPvalue finalize_multilevel_pvalue(double raw, std::uint64_t mode_count,
                                            std::uint64_t permutations, double eps,
                                            std::uint64_t sample_size);

}  // namespace quenfa::multilevel
