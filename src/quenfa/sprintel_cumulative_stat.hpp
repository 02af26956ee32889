// The cumulative enrichment pass behind calc_gsea_stat_cumulative_f64, with
// buffers kept between calls so that a permutation loop does not allocate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "quenfa/core/score_type.hpp"
#include "quenfa/sprintel_compat.hpp"

namespace quenfa::sprintel {

// Running sums over k sample slots plus a sentinel slot, as two-level prefix
// structures: adding d from slot t on adds d to the element entries of t's
// block from t on and to the block entries of every later block; a slot's
// value is its element entry plus its block entry. Blocks hold L slots, L the
// smallest power of two (at least 2) with L^2 > k. Misses are counted in
// integers, hit weights in doubles.
//
// Each block also keeps the upper convex hull of its points (hit weight,
// misses) in block-local coordinates; offsets of earlier insertions are the
// same for the whole block, so only the block of an insertion is rebuilt.
class BlockedRunningSums {
 public:
  // Slot t starts with misses initial_misses[t]; the sentinel with n.
  void reset(std::span<const std::int64_t> initial_misses, std::int64_t n);
  // Adds one member at slot t: one miss less and `weight` more hit weight for
  // every slot from t on.
  void insert(std::size_t t, double weight);
  // The largest slot value hits x coef - misses. coef must not increase
  // between calls without an insert in between: each block's search starts
  // from its previous best hull point and only moves towards smaller hit
  // weights, where the optimum of a smaller coef lies.
  double max_value(double coef);

 private:
  void rebuild_hull(std::size_t block);

  std::size_t slots_ = 0, shift_ = 0, blocks_ = 0;
  std::vector<std::int64_t> miss_elem_, miss_block_;
  std::vector<double> hit_elem_, hit_block_;
  std::vector<std::uint32_t> hull_;  // slot indices; block b's hull starts at b << shift_
  std::vector<std::uint32_t> best_;  // per block: hull index of the last best point
};

// calc_gsea_stat_cumulative_f64 and gsea_stats1_f64 on reusable buffers.
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

// `order` into reused vectors; `keys` is scratch.
void order_into(std::span<const std::uint64_t> sample, std::vector<std::uint64_t>& keys,
                std::vector<std::size_t>& out);

}  // namespace quenfa::sprintel
