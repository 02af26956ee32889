// The scoring run of the redundancy-discounted method: penalty-weighted
// enrichment scores, a null distribution per pathway size, optional
// multilevel refinement of small P-values, adjusted and sorted records.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "quenfa/core/enrichment_result.hpp"
#include "quenfa/core/pathway.hpp"
#include "quenfa/core/ranked_list.hpp"
#include "quenfa/core/result.hpp"
#include "quenfa/core/score_type.hpp"
#include "quenfa/decor/decor_cache.hpp"
#include "quenfa/decor/decor_options.hpp"

namespace quenfa::decor {

struct DecorRunSettings {
  double eps = 1e-50;
  double gsea_param = 1.0;
  std::uint64_t nperm = 1000;
  std::uint64_t min_size = 1;
  std::uint64_t max_size = 0;
  ScoreType score_type = ScoreType::Std;
  std::uint64_t sample_size = 101;
};

// One record per pathway with min_size <= hits <= max_size (hits: genes in
// the ranked list and in the pathway's cache entry), sorted by name; an
// error when the options, the formula context or a penalty fail. Without
// `multilevel` the P-values come from the permutations only; with it, small
// ones are refined by the multilevel tail estimator.
Result<std::vector<EnrichmentResult>> run(const RankedList& ranked, const PathwayDb& pathways,
                                          const DecorCache& cache, const DecorOptions& options,
                                          const DecorRunSettings& settings, std::uint64_t seed,
                                          bool multilevel);

}  // namespace quenfa::decor
