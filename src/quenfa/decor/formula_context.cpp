#include "quenfa/decor/formula_context.hpp"

#include <algorithm>
#include <cmath>

#include "quenfa/decor/number_text.hpp"

namespace quenfa::decor {

std::optional<double> percentile_sorted(std::span<const double> sorted, double p) {
  const std::size_t n = sorted.size();
  if (n == 0) return std::nullopt;
  if (n == 1) return sorted[0];
  const double fraction = std::isnan(p) ? 0.0 : std::clamp(p, 0.0, 1.0);
  const double h = static_cast<double>(n - 1) * fraction;
  const auto lo = static_cast<std::size_t>(std::floor(h));
  const auto hi = static_cast<std::size_t>(std::ceil(h));
  if (lo == hi) return sorted[lo];
  const double w = h - static_cast<double>(lo);
  return w * sorted[hi] + (1 - w) * sorted[lo];
}

std::vector<double> finite_cache_redundancy(const DecorCache& cache) {
  std::vector<double> values;
  for (const auto& [name, scores] : cache.pathways) {
    for (float r : scores.redundancy) {
      if (std::isfinite(r)) values.push_back(static_cast<double>(r));
    }
  }
  // IEEE total order on finite values: -0.0 before +0.0.
  std::sort(values.begin(), values.end(), [](double a, double b) {
    return a < b || (a == b && std::signbit(a) && !std::signbit(b));
  });
  return values;
}

namespace {

bool scales_by_cache(DecorWeightFormula formula) {
  switch (formula) {
    case DecorWeightFormula::ScaledRational:
    case DecorWeightFormula::Q75ScaledRational:
    case DecorWeightFormula::ExpScaled:
    case DecorWeightFormula::QuantileRational:
    case DecorWeightFormula::FloorScaledRational:
      return true;
    default:
      return false;
  }
}

std::string formula_prefix(DecorWeightFormula formula) {
  return "selected formula " + std::string(to_text(formula));
}

Error missing_scale(DecorWeightFormula formula) {
  return Error{formula_prefix(formula) + " requires finite redundancy scores in the decor cache"};
}

// Mid-rank quantile of `r` among the sorted values (n >= 1).
double mid_rank_quantile(std::span<const double> sorted, double r) {
  const std::size_t n = sorted.size();
  if (n == 1) return 1.0;
  const auto lt =
      static_cast<std::size_t>(std::lower_bound(sorted.begin(), sorted.end(), r) - sorted.begin());
  const auto le =
      static_cast<std::size_t>(std::upper_bound(sorted.begin(), sorted.end(), r) - sorted.begin());
  const std::size_t ranks = lt + (le > 0 ? le - 1 : 0);
  return std::min(1.0, static_cast<double>(ranks) * 0.5 / static_cast<double>(n - 1));
}

}  // namespace

Result<DecorFormulaContext> make_decor_formula_context(const DecorCache& cache,
                                                       const DecorOptions& options) {
  DecorFormulaContext context;
  context.sorted_redundancy = finite_cache_redundancy(cache);
  if (scales_by_cache(options.weight_formula) && context.sorted_redundancy.empty()) {
    return Error{formula_prefix(options.weight_formula) +
                 " could not compute redundancy scale because the decor cache has no finite "
                 "redundancy scores"};
  }
  context.median = percentile_sorted(context.sorted_redundancy, 0.5);
  context.q75 = percentile_sorted(context.sorted_redundancy, 0.75);
  context.alpha = options.alpha;
  context.gamma = options.gamma;
  context.threshold = options.threshold;
  context.penalty_floor = options.penalty_floor;
  context.scale_epsilon = options.scale_epsilon;
  context.weight_formula = options.weight_formula;
  return context;
}

Result<double> DecorFormulaContext::penalty(double r) const {
  if (!std::isfinite(r)) return Error{"decor redundancy score must be finite"};
  const double a = alpha, eps = scale_epsilon;
  double value = 0;
  switch (weight_formula) {
    case DecorWeightFormula::RawRational:
      value = 1 / (1 + a * r);
      break;
    case DecorWeightFormula::ScaledRational:
      if (!median) return missing_scale(weight_formula);
      value = 1 / (1 + a * (r / (*median + eps)));
      break;
    case DecorWeightFormula::Q75ScaledRational:
      if (!q75) return missing_scale(weight_formula);
      value = 1 / (1 + a * (r / (*q75 + eps)));
      break;
    case DecorWeightFormula::ExpScaled:
      if (!median) return missing_scale(weight_formula);
      value = std::exp(-a * (r / (*median + eps)));
      break;
    case DecorWeightFormula::OddsRational: {
      // With eps above 1 the range [0, 1 - eps] is empty; no clamp can fit it.
      if (1 - eps < 0) {
        return Error{formula_prefix(weight_formula) + " needs a decor scale epsilon of at most 1"};
      }
      const double c = std::min(std::max(r, 0.0), 1 - eps);
      value = 1 / (1 + a * (c / (eps + (1 - c))));
      break;
    }
    case DecorWeightFormula::ThresholdRational:
      value = 1 / (1 + a * std::max(r - threshold, 0.0));
      break;
    case DecorWeightFormula::QuantileRational:
      if (sorted_redundancy.empty()) return missing_scale(weight_formula);
      value = 1 / (1 + a * mid_rank_quantile(sorted_redundancy, r));
      break;
    case DecorWeightFormula::FloorScaledRational:
      if (!median) return missing_scale(weight_formula);
      value = (1 - penalty_floor) * (1 / (1 + a * (r / (*median + eps)))) + penalty_floor;
      break;
    case DecorWeightFormula::PowerRetention:
      value = std::pow(1 - std::min(1.0, std::max(0.0, r)), gamma);
      break;
  }
  if (!std::isfinite(value) || value < 0) {
    return Error{formula_prefix(weight_formula) + " produced an invalid penalty from redundancy " +
                 display_number(r)};
  }
  return value;
}

}  // namespace quenfa::decor
