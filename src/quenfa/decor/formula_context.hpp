// Weight formulas: how a gene's redundancy score becomes the factor by which
// its weight in the enrichment score is multiplied.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "quenfa/core/result.hpp"
#include "quenfa/decor/decor_cache.hpp"
#include "quenfa/decor/decor_options.hpp"

namespace quenfa::decor {

// Linear-interpolation percentile of an ascending vector at fraction `p`
// (clamped to [0, 1]); absent for an empty vector.
std::optional<double> percentile_sorted(std::span<const double> sorted, double p);

// Every finite score of every pathway, widened to double, ascending.
std::vector<double> finite_cache_redundancy(const DecorCache& cache);

// Read-only during scoring; penalty() may be called from many threads.
struct DecorFormulaContext {
  std::optional<double> median;
  std::optional<double> q75;
  std::vector<double> sorted_redundancy;
  double alpha = 0;
  double gamma = 0;
  double threshold = 0;
  double penalty_floor = 0;
  double scale_epsilon = 0;
  DecorWeightFormula weight_formula = DecorWeightFormula::ThresholdRational;

  // The weight factor for redundancy `r`: finite and not negative, or an error.
  Result<double> penalty(double r) const;
};

// Builds the context from the cache's scores and the options; fails when a
// formula that scales by the cache's scores finds none.
Result<DecorFormulaContext> make_decor_formula_context(const DecorCache& cache,
                                                       const DecorOptions& options);

}  // namespace quenfa::decor
