// Batch permutation statistics: the permutation counters of many pathways at
// once. One permutation draws K distinct ranked positions (K = the largest
// pathway size); its first m draws form a random set of size m, so one draw
// and one cumulative pass score every pathway size 1..K.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "quenfa/core/score_type.hpp"
#include "quenfa/stats/enrichment_statistics.hpp"

namespace quenfa::classic {

// Counters of every pathway (driver order) over one chunk of permutations.
struct BatchCounts {
  std::vector<std::uint64_t> le, ge, le_zero, ge_zero;
  std::vector<double> le_zero_sum, ge_zero_sum;
};

// The pathways of one size s, ascending, and the index s - 1 of their score.
struct SizeGroup {
  std::size_t stats_index = 0;
  std::vector<std::size_t> pathways;
};

// Per-pathway accumulator of the exact strategies.
using PathwayAcc = stats::PermutationCounters;

enum class StatDirection : std::uint8_t { Forward, Reversed };

// One chunk's inputs. weights: one per ranked gene (the integer weights as
// f64); sizes (all >= 1) and es: one per pathway, in the driver's order.
struct BatchInputs {
  std::span<const double> weights;
  std::span<const std::size_t> sizes;
  std::span<const double> es;
  ScoreType score_type = ScoreType::Std;
};

BatchCounts empty_batch_counts(std::size_t pathways);
BatchCounts merge_batch_counts(const BatchCounts& a, const BatchCounts& b);

// Indices sorting `sample` ascending, equal values in input order. Values
// are ranked positions and must be below 2^32.
std::vector<std::size_t> order(std::span<const std::uint64_t> sample);

// Size groups of the pathway sizes, ascending size.
std::vector<SizeGroup> grouped_score_indices(std::span<const std::size_t> sizes);

// The non-negative running-sum deviations of one direction: entry m - 1 for
// the set of the first m drawn positions (one-based, distinct, <= w.size()).
std::vector<double> gsea_stats1_f64(std::span<const double> w,
                                    std::span<const std::uint64_t> sample,
                                    std::span<const std::size_t> sample_order, double p,
                                    StatDirection direction);

// Enrichment score of every prefix of `sample` under the score type: entry
// m - 1 for the first m drawn positions.
std::vector<double> cumulative_prefix_scores_f64(std::span<const double> w,
                                                 std::span<const std::uint64_t> sample,
                                                 ScoreType score_type, double p);

// Strategy 1, sequential: `permutations` draws of combination(1, n, K) from
// the standard-seeded MT19937 of the chunk seed's low 32 bits.
BatchCounts batch_permutation_counts_f64(const BatchInputs& in, std::uint64_t permutations,
                                         std::uint64_t chunk_seed);

// Strategy 2: the draws of strategy 1 on the calling thread, size groups
// counted in parallel on the worker pool; counters identical to strategy 1.
BatchCounts batch_permutation_counts_f64_thread_invariant_parallel(const BatchInputs& in,
                                                                   std::uint64_t permutations,
                                                                   std::uint64_t chunk_seed);

// Strategy 3, not exact: the chunk split into min(8 x pool threads, permutations)
// tasks, each with a generator of its own; the counters depend on the pool
// size. The first form takes the size of the worker pool; the second names
// the thread count the split is made for (the work still runs in the pool).
BatchCounts batch_permutation_counts_f64_parallel(const BatchInputs& in, std::uint64_t permutations,
                                                  std::uint64_t chunk_seed);
BatchCounts batch_permutation_counts_f64_parallel(const BatchInputs& in, std::uint64_t permutations,
                                                  std::uint64_t chunk_seed,
                                                  std::size_t pool_threads);

// The strategy the driver uses for a chunk: 1 with fewer than 2 pool threads
// or fewer than 128 pathways; otherwise 3 when QUENFA_FAST_NONEXACT_SIMPLE is
// set (any value), else 2.
BatchCounts batch_counts_for_chunk(const BatchInputs& in, std::uint64_t permutations,
                                   std::uint64_t chunk_seed);

}  // namespace quenfa::classic
