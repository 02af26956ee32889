// The classic analysis driver: scores every pathway in range, estimates
// P-values from gene-set permutations, optionally refines the smallest ones
// with the multilevel estimator, adjusts them and sorts the records by name.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "quenfa/core/enrichment_result.hpp"
#include "quenfa/core/pathway.hpp"
#include "quenfa/core/ranked_list.hpp"
#include "quenfa/core/score_type.hpp"
#include "quenfa/random/r_streams.hpp"

namespace quenfa::classic {

// `nperm` permutations drawn from `seed`; with `allow_multilevel`, P-values
// the permutations cannot resolve are refined by the multilevel estimator
// (sample_size sets per level) down to `eps`.
std::vector<EnrichmentResult> run(const RankedList& ranked, const PathwayDb& pathways,
                                  std::uint64_t nperm, std::uint64_t seed, double eps,
                                  double gsea_param, std::uint64_t min_size, std::uint64_t max_size,
                                  ScoreType score_type, bool allow_multilevel,
                                  std::uint64_t sample_size);

// A run of permutations drawn from one seed.
struct PermutationChunk {
  std::uint64_t permutations = 0;
  std::uint64_t seed = 0;
};

// Splits nperm permutations into chunks and draws each chunk's seed from
// `stream`: one chunk when refinement follows, otherwise chunks of
// max(1000, ceil(nperm / 128)) and a final remainder.
std::vector<PermutationChunk> permutation_chunks(std::uint64_t nperm, bool allow_multilevel,
                                                 random::RMt19937SeedCompat& stream);

}  // namespace quenfa::classic
