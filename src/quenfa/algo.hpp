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
#include "quenfa/rng_compat.hpp"

namespace quenfa {

std::vector<EnrichmentResult> run_gsea_internal(const RankedList& ranked, const PathwayDb& pathways,
                                                std::uint64_t nperm, std::uint64_t seed, double eps,
                                                double gsea_param, std::uint64_t min_size,
                                                std::uint64_t max_size, ScoreType score_type,
                                                bool allow_multilevel, std::uint64_t sample_size);

// Mode "kelda": resolves the seed, then runs nperm plain permutations when
// nperm is given, or n_perm_simple permutations followed by multilevel
// refinement otherwise.
std::vector<EnrichmentResult> kelda_with_sample_size_and_kind(
    const RankedList& ranked, const PathwayDb& pathways, std::optional<std::uint64_t> nperm,
    double eps, double gsea_param, std::uint64_t n_perm_simple, std::optional<std::uint64_t> seed,
    std::uint64_t min_size, std::uint64_t max_size, ScoreType score_type,
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
                                                 RMt19937SeedCompat& stream);

}  // namespace quenfa
