// The null distribution of a decor run: all kept pathways of one size share
// one random gene set per permutation, drawn from the size's own
// R-compatible L'Ecuyer-CMRG stream, and each scores it with its penalties.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "quenfa/core/score_type.hpp"
#include "quenfa/stats/enrichment_statistics.hpp"
#include "quenfa/stats/pathway_record.hpp"

namespace quenfa::decor {

// Groups of at least this many members score a permutation in one pass.
inline constexpr std::size_t kBatchedGroupMembers = 16;

struct DecorRuntimeSizeGroup {
  std::uint64_t size = 0;              // k
  std::vector<std::size_t> members;    // kept indices, ascending
  std::vector<double> observed_es;     // batched groups only, member order
  std::vector<double> penalty_matrix;  // batched groups only: k x P, position-major
  bool batched = false;
};

// One group per distinct size, ascending; batched groups get their observed
// scores and penalty matrix.
std::vector<DecorRuntimeSizeGroup> build_size_groups(const std::vector<stats::PathwayRecord>& kept);

// The inputs every permutation of a run shares.
struct NullScoring {
  std::span<const double> weights;
  std::size_t n = 0;  // ranked genes
  ScoreType score_type = ScoreType::Std;
};

// Scratch of the batched evaluation, reused across permutations.
struct BatchScratch {
  std::vector<double> total, running, max, min;
};

// Counts one random set (ascending positions s, |s| = the group's size) for
// every member into counts[j] (member order), scoring member by member.
void tally_members_one_by_one(const DecorRuntimeSizeGroup& group,
                              const std::vector<stats::PathwayRecord>& kept,
                              const NullScoring& scoring, std::span<const std::size_t> s,
                              std::span<stats::PermutationCounters> counts);

// The same counts from one pass over s with the group's penalty matrix; bit
// for bit what tally_members_one_by_one gives.
void tally_members_batched(const DecorRuntimeSizeGroup& group, const NullScoring& scoring,
                           std::span<const std::size_t> s, BatchScratch& scratch,
                           std::span<stats::PermutationCounters> counts);

// The random sets of one size group: nperm draws of sample.int(n, k) from
// the L'Ecuyer-CMRG stream seeded with size_group_seed32(k, seed), each made
// zero-based and sorted ascending, passed to `visit` in draw order.
void for_each_null_set(std::uint64_t k, std::size_t n, std::uint64_t nperm, std::uint64_t seed,
                       const std::function<void(std::span<const std::size_t>)>& visit);

// Fills the counts of every kept pathway from nperm permutations per size
// (nothing when nperm is 0); the groups run in parallel on the worker pool.
void run_null_distribution(std::vector<stats::PathwayRecord>& kept, const NullScoring& scoring,
                           std::uint64_t nperm, std::uint64_t seed);

}  // namespace quenfa::decor
