// The exact score of a gene set of the multilevel estimator and its order.
//
// A set's positive enrichment score is the rational
//   ES = peak_hit_sum / weight_sum - peak_misses / miss_count
// over the integer gene weights; it is never rounded. Orders and thresholds
// are decided by cross-multiplication in 128-bit integers.
//
// Ranges every caller keeps (the ruler guarantees them): 0 <= peak_hit_sum <=
// weight_sum <= kMaxWeightTotal and 0 <= peak_misses <= miss_count < 2^32.
// Within them no product below exceeds 127 bits.
#pragma once

#include <cstdint>

namespace quenfa::multilevel {

// Largest total of the gene weights the exact arithmetic accepts.
inline constexpr std::int64_t kMaxWeightTotal = std::int64_t{1} << 46;

// The point of a set's positive score peak.
struct Gsea {
  std::int64_t weight_sum = 0;    // S: weights of the set's genes
  std::int64_t peak_hit_sum = 0;  // h: weights of the set's genes up to and including the peak gene
  std::int64_t miss_count = 0;    // D: genes outside the set (n - k)
  std::int64_t peak_misses = 0;   // m: genes outside the set before the peak gene
  std::uint64_t key = 0;          // XOR of the keys of the set's genes

  // Whether *this scores lower than y, equal scores ordered by key (unsigned).
  bool lt_cpp(const Gsea& y) const;

  friend bool operator==(const Gsea&, const Gsea&) = default;
};

// A target score t >= 0 as the integer t * 2^30 (truncated; NaN gives 0),
// clamped to +-(2^30 + 1). Scores lie in [-1, 1], so every target beyond the
// clamp compares like the clamp itself, and the products stay in range.
std::int64_t scale_target(double t);

// Whether the score of x is at least the target scaled by scale_target:
// (h*D - m*S) * 2^30 - S*D*T >= 0.
bool reaches_target(const Gsea& x, std::int64_t scaled_target);

}  // namespace quenfa::multilevel
