// The ranked gene list and the integer weights derived from its scores.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quenfa {

// Per-rank weights |score|^p and the same scaled to a total near 2^30 and
// rounded to integers; every classic and decor enrichment score uses the
// integer weights so that running sums are exact.
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

  static PreparedStats prepare(const std::vector<double>& scores, double p);

  std::size_t size() const { return genes.size(); }
};

// Rounds half to even and converts with saturation (NaN gives 0).
std::int64_t round_to_i64_saturating(double x);

}  // namespace quenfa
