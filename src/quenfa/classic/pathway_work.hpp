// The per-pathway record of one classic run and the driver stages that live
// in their own files. Internal to the driver.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "quenfa/classic/driver.hpp"
#include "quenfa/random/r_streams.hpp"
#include "quenfa/stats/enrichment_statistics.hpp"

namespace quenfa::classic {

struct Working {
  const std::string* name = nullptr;  // owned by the run's PathwayDb
  std::vector<std::size_t> hits;
  std::uint64_t size = 0;
  double es = 0.0;
  std::size_t peak = 0;
  stats::PermutationCounters counters;
  std::optional<double> nes;
  std::optional<double> log2err;
  double pval = std::numeric_limits<double>::quiet_NaN();
  std::uint64_t extreme = 0;  // permutations at least as extreme as es
  std::uint64_t mode = 0;     // permutations on the side of es
};

// Permutations of two or more pathways: every chunk draws sets of the largest
// size once and counts them for every pathway size (weights as f64).
void permute_pathway_batches(std::vector<Working>& kept, const std::vector<double>& w,
                             ScoreType score_type, const std::vector<PermutationChunk>& chunks);

// Multilevel refinement of the P-values that the permutations cannot
// resolve, drawing the multilevel seed from `stream`.
void refine_multilevel(std::vector<Working>& kept, const std::vector<std::int64_t>& int_weights,
                       random::RMt19937SeedCompat& stream, std::uint64_t nperm, double eps_c,
                       ScoreType score_type, std::uint64_t sample_size);

}  // namespace quenfa::classic
