// Expression matrices (genes in rows, TAB-separated, optionally gzip) and the
// standardised profiles whose dot products are Pearson correlations (of the
// values, or of their ranks for Spearman correlations).
#pragma once

#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "quenfa/core/result.hpp"
#include "quenfa/decor/decor_options.hpp"

namespace quenfa::decor {

struct ExpressionMatrix {
  std::vector<std::string> genes;  // unique, in file order
  std::size_t samples = 0;
  std::vector<double> values;  // row-major: genes.size() rows of `samples` values

  std::span<double> row(std::size_t i) { return {values.data() + i * samples, samples}; }
  std::span<const double> row(std::size_t i) const {
    return {values.data() + i * samples, samples};
  }
};

// Reads the matrix; the first malformed line, duplicate identifier, value
// that is not a number or not finite ends the read with its message.
Result<ExpressionMatrix> read_expression_matrix(const std::string& path);

// Replaces each value of `x` by its rank among them, 1 for the smallest; tied
// values share the mean of the ranks they span.
void rank_profile(std::span<double> x);

// Centres `x` and scales it to unit length, every sum taken in column order
// from -0.0; a constant profile becomes all zeros. Values of any finite
// magnitude give finite results.
void standardise_profile(std::span<double> x);

// Sum of a[k] * b[k] in column order from -0.0: the Pearson correlation of
// two standardised profiles.
double standardised_dot(std::span<const double> a, std::span<const double> b);

// Standardised profiles looked up by gene identifier: of the values for
// Pearson correlations, of the ranks of each row for Spearman correlations.
struct StandardisedProfiles {
  std::unordered_map<std::string, std::size_t> rows;
  ExpressionMatrix matrix;  // standardised values, or standardised ranks

  StandardisedProfiles(ExpressionMatrix raw, DecorCorrelation correlation);
};

}  // namespace quenfa::decor
