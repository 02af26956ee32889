// The cumulative enrichment pass behind cumulative_prefix_scores_f64, with
// buffers kept between calls so that a permutation loop does not allocate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "quenfa/classic/batch_permutation_counts.hpp"
#include "quenfa/core/score_type.hpp"

namespace quenfa::classic {

// Running sums over k sample slots plus a sentinel slot, as two-level prefix
// structures: adding d from slot t on adds d to the element entries of t's
// block from t on and to the block entries of every later block; a slot's
// value is its element entry plus its block entry. Blocks hold L slots, L the
// smallest power of two (at least 2) with L^2 > k. Misses are whole numbers
// below 2^53, kept in doubles so that sums and differences stay exact.
//
// Each block also keeps the upper convex hull of its points (hit weight,
// misses) in block-local coordinates; offsets of earlier insertions are the
// same for the whole block, so only the block of an insertion changes. The
// hull is a monotone chain whose stack is stored as links: prev_[u] is the
// point below u when u was pushed and top_[u] the stack's top once slot u is
// processed, so an insertion at slot t resumes the chain at t.
class BlockedRunningSums {
 public:
  // Slot t starts with misses initial_misses[t]; the sentinel with n. The
  // chain visits only the members and each block's first slot unless
  // every_slot_on_chain (needed when a hit weight may be NaN).
  void reset(std::span<const std::int64_t> initial_misses, std::int64_t n,
             bool every_slot_on_chain);
  // Adds one member at slot t: one miss less and `weight` more hit weight for
  // every slot from t on.
  void insert(std::size_t t, double weight);
  // The largest slot value hits x coef - misses. coef must not increase
  // between calls without an insert in between: each block's search starts
  // from its previous best hull point and only moves towards smaller hit
  // weights, where the optimum of a smaller coef lies.
  double max_value(double coef);

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  // Runs the chain from slot `from` to the end of its block.
  void extend_hull(std::size_t from);
  void mark_on_chain(std::size_t u);
  // The last slot before u (same block) that the chain visits.
  std::size_t last_on_chain_before(std::size_t u) const;
  // Makes hull point u the block's best and caches it and its left neighbour.
  void set_best(std::size_t block, std::uint32_t u);

  std::size_t slots_ = 0, shift_ = 0, blocks_ = 0;
  std::vector<double> miss_elem_, miss_block_;
  std::vector<double> hit_elem_, hit_block_;
  std::vector<std::uint32_t> prev_, top_;  // per slot, see above
  std::vector<std::uint64_t> on_chain_;    // bit per slot: a member or a block's first slot
  // Per block: the best hull point and the coordinates of it and of its left
  // neighbour (none: misses +inf), read by max_value without indirection.
  std::vector<std::uint32_t> best_;
  std::vector<double> best_hit_, best_miss_, left_hit_, left_miss_;
  std::vector<double> best_value_, left_value_;  // max_value scratch
};

// cumulative_prefix_scores_f64 and gsea_stats1_f64 on reusable buffers.
class CumulativeStat {
 public:
  void compute(std::span<const double> w, std::span<const std::uint64_t> sample,
               ScoreType score_type, double p, std::vector<double>& out);
  void one_direction(std::span<const double> w, std::span<const std::uint64_t> sample,
                     std::span<const std::size_t> sample_order, double p, StatDirection direction,
                     std::vector<double>& out);

 private:
  void prepare_weights(std::span<const double> w, std::span<const std::uint64_t> sample, double p);
  void run_direction(std::size_t n, std::span<const std::uint64_t> sample,
                     std::span<const std::size_t> sample_order, StatDirection direction,
                     std::vector<double>& out);

  std::vector<std::uint64_t> order_keys_;
  std::vector<std::size_t> order_;
  std::vector<std::size_t> slot_;
  std::vector<std::int64_t> initial_misses_;
  std::vector<double> weight_;
  std::vector<double> reversed_;
  BlockedRunningSums sums_;
};

// `order` into reused vectors; `keys` is scratch (2 x sample size).
void order_into(std::span<const std::uint64_t> sample, std::vector<std::uint64_t>& keys,
                std::vector<std::size_t>& out);

}  // namespace quenfa::classic
