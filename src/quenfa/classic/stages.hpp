// The driver stages that live in their own files. Internal to the driver.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "quenfa/classic/driver.hpp"
#include "quenfa/random/r_streams.hpp"
#include "quenfa/stats/pathway_record.hpp"

namespace quenfa::classic {

// Permutations of two or more pathways: every chunk draws sets of the largest
// size once and counts them for every pathway size (weights as f64).
void permute_pathway_batches(std::vector<stats::PathwayRecord>& kept, const std::vector<double>& w,
                             ScoreType score_type, const std::vector<PermutationChunk>& chunks);

// Multilevel refinement of the P-values that the permutations cannot
// resolve, drawing the multilevel seed from `stream`.
void refine_multilevel(std::vector<stats::PathwayRecord>& kept,
                       const std::vector<std::int64_t>& int_weights,
                       random::RMt19937SeedCompat& stream, std::uint64_t nperm, double eps_c,
                       ScoreType score_type, std::uint64_t sample_size);

}  // namespace quenfa::classic
