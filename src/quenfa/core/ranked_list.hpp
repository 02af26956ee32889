// The ranked gene list and the integer weights derived from its scores.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quenfa/core/result.hpp"

namespace quenfa {

// Per-rank weights |score|^p and the same scaled to a total near 2^30 and
// rounded to integers; every classic and decor enrichment score uses the
// integer weights so that running sums are exact. abs_weights are divided or
// multiplied by one power of two when their sum leaves the range of doubles
// (see rescaled_weight_total).
struct PreparedStats {
  std::vector<double> abs_weights;
  std::vector<std::int64_t> int_weights;
  std::int64_t int_total = 0;
};

struct RankedList {
  std::vector<std::string> genes;  // rank order, position 0 has the highest score
  std::vector<double> scores;      // same order

  // Sorts by descending score, stably: equal scores keep their input order and
  // a NaN compares equal to everything. Inputs must have the same length.
  static RankedList create(std::vector<std::string> genes, std::vector<double> scores);

  // As create, after refusing a NaN or infinite score: the error
  // (InvalidArgument) names the first such gene in the caller's order.
  static Result<RankedList> create_checked(std::vector<std::string> genes,
                                           std::vector<double> scores);

  // Refuses an exponent p whose weights |score|^p cannot be scaled to
  // integers: an infinite weight of a finite score, or every weight 0
  // although some score and p are not. p itself must be finite and not
  // negative. Non-finite scores are create_checked's to refuse.
  Status check_weight_exponent(double p) const;

  static PreparedStats prepare(const std::vector<double>& scores, double p);

  std::size_t size() const { return genes.size(); }
};

// The sum of `weights`, left to right. When that sum overflows, or is so
// small that 2^30 / sum overflows, every weight is first multiplied by one
// power of two chosen so that neither happens; the ratios of the weights to
// each other and to the sum are then those of arithmetic without exponent
// limits, and 2^30 / sum stays on the same side of 1 (and of 2^52, above
// which floor changes nothing). Weights whose sum is in range are untouched.
// Every weight must be finite and not negative.
double rescaled_weight_total(std::vector<double>& weights);

// Rounds half to even and converts with saturation (NaN gives 0).
std::int64_t round_to_i64_saturating(double x);

}  // namespace quenfa
