#include "quenfa/decor/decor_options.hpp"

#include <array>
#include <cmath>

#include "quenfa/core/choice.hpp"
#include "quenfa/core/text.hpp"
#include "quenfa/decor/number_text.hpp"

namespace quenfa::decor {

std::string_view to_text(DecorWeightFormula formula) {
  static constexpr std::array<std::string_view, 9> kNames = {
      "raw-rational",      "scaled-rational",       "q75-scaled-rational",
      "exp-scaled",        "odds-rational",         "threshold-rational",
      "quantile-rational", "floor-scaled-rational", "power-retention"};
  return kNames[static_cast<std::size_t>(formula)];
}

std::string_view to_text(DecorCorrelation correlation) {
  return correlation == DecorCorrelation::Pearson ? "pearson" : "spearman";
}

std::string_view to_text(DecorRedundancy redundancy) {
  return redundancy == DecorRedundancy::PositiveMean ? "positive_mean" : "abs_mean";
}

std::string_view to_text(DecorCacheMode mode) {
  static constexpr std::array<std::string_view, 3> kNames = {"auto", "reuse", "rebuild"};
  return kNames[static_cast<std::size_t>(mode)];
}

namespace {

struct ReleasePreset {
  std::string_view name;
  DecorWeightFormula weight_formula;
  double alpha;
  double threshold;
};

// Table order is the stringency order: each row starts where the previous
// one ends (35, 65, 85).
constexpr std::array<ReleasePreset, 4> kPresets = {{
    {"sensitive", DecorWeightFormula::RawRational, 22.0, 0.0},
    {"balanced", DecorWeightFormula::ThresholdRational, 60.0, 0.04},
    {"specific", DecorWeightFormula::ThresholdRational, 65.0, 0.05},
    {"strict", DecorWeightFormula::ExpScaled, 2.302585092994046, 0.0},  // ln 10
}};

const ReleasePreset& preset_for_stringency(double s) {
  if (s < 35) return kPresets[0];
  if (s < 65) return kPresets[1];
  if (s < 85) return kPresets[2];
  return kPresets[3];
}

bool finite_not_negative(double x) {
  return std::isfinite(x) && x >= 0;
}
bool finite_unit_interval(double x) {
  return finite_not_negative(x) && x < 1;
}

// The choice among `values`, each named by its to_text.
template <class Enum, std::size_t N>
Result<Enum> parse_named(std::string_view text, const char* what,
                         const std::array<Enum, N>& values) {
  ChoiceTable<Enum, N> choices;
  for (std::size_t i = 0; i < N; ++i) choices[i] = {to_text(values[i]), values[i]};
  return parse_choice(text, what, choices);
}

}  // namespace

Status apply_decor_release_tuning(DecorOptions& options, const std::optional<std::string>& preset,
                                  std::optional<double> stringency) {
  if (preset && stringency) {
    return Error{"Use either decor_preset or decor_stringency, not both."};
  }
  const ReleasePreset* row = nullptr;
  if (stringency) {
    const double s = *stringency;
    if (!std::isfinite(s) || s < 0 || s > 100) {
      return Error{"Invalid decor stringency '" + display_number(s) +
                   "'. Expected a finite value from 0 to 100."};
    }
    row = &preset_for_stringency(s);
  } else {
    const std::string name = ascii_lower(preset.value_or("balanced"));
    std::string names;
    for (const ReleasePreset& candidate : kPresets) {
      if (name == candidate.name) row = &candidate;
      if (!names.empty()) names += ", ";
      names += candidate.name;
    }
    if (row == nullptr) {
      return Error{"Invalid decor preset '" + name + "'. Expected one of: " + names + "."};
    }
  }
  options.weight_formula = row->weight_formula;
  options.alpha = row->alpha;
  options.threshold = row->threshold;
  options.gamma = 1.0;
  options.penalty_floor = 0.0;
  return ok_status();
}

Status apply_decor_formula_overrides(DecorOptions& options,
                                     const std::optional<std::string>& weight_formula,
                                     std::optional<double> alpha, std::optional<double> threshold,
                                     std::optional<double> gamma,
                                     std::optional<double> penalty_floor, double scale_epsilon) {
  std::optional<DecorWeightFormula> formula;
  if (weight_formula) {
    static constexpr std::array<DecorWeightFormula, 3> kSelectable = {
        DecorWeightFormula::RawRational, DecorWeightFormula::ExpScaled,
        DecorWeightFormula::ThresholdRational};
    auto parsed = parse_named(*weight_formula, "decor weight formula", kSelectable);
    if (!parsed) return Error{parsed.error()};
    formula = parsed.value();
  }
  if (alpha && !finite_not_negative(*alpha)) {
    return Error{"decor_alpha must be a finite numeric value >= 0."};
  }
  if (threshold && !finite_unit_interval(*threshold)) {
    return Error{"decor_threshold must be a finite numeric value >= 0 and < 1."};
  }
  if (gamma && !finite_not_negative(*gamma)) {
    return Error{"decor_gamma must be a finite numeric value >= 0."};
  }
  if (penalty_floor && !finite_unit_interval(*penalty_floor)) {
    return Error{"decor_penalty_floor must be a finite numeric value >= 0 and < 1."};
  }
  if (!std::isfinite(scale_epsilon) || !(scale_epsilon > 0)) {
    return Error{"decor_scale_epsilon must be a finite numeric value > 0."};
  }
  if (formula) options.weight_formula = *formula;
  if (alpha) options.alpha = *alpha;
  if (threshold) options.threshold = *threshold;
  if (gamma) options.gamma = *gamma;
  if (penalty_floor) options.penalty_floor = *penalty_floor;
  options.scale_epsilon = scale_epsilon;
  return ok_status();
}

Result<DecorCacheMode> parse_decor_cache_mode(std::string_view text) {
  return parse_named(
      text, "decor_cache_mode",
      std::array{DecorCacheMode::Auto, DecorCacheMode::Reuse, DecorCacheMode::Rebuild});
}

Result<DecorCorrelation> parse_decor_correlation(std::string_view text) {
  return parse_named(text, "decor_correlation",
                     std::array{DecorCorrelation::Pearson, DecorCorrelation::Spearman});
}

Result<DecorRedundancy> parse_decor_redundancy(std::string_view text) {
  return parse_named(text, "decor_redundancy",
                     std::array{DecorRedundancy::PositiveMean, DecorRedundancy::AbsMean});
}

Status validate_decor_options(const DecorOptions& options) {
  if (!finite_not_negative(options.alpha)) return Error{"decor alpha must be a finite value >= 0"};
  if (!finite_not_negative(options.gamma)) return Error{"decor gamma must be a finite value >= 0"};
  if (!finite_unit_interval(options.threshold)) {
    return Error{"decor threshold must be a finite value >= 0 and < 1"};
  }
  if (!finite_unit_interval(options.penalty_floor)) {
    return Error{"decor penalty floor must be a finite value >= 0 and < 1"};
  }
  if (!std::isfinite(options.scale_epsilon) || !(options.scale_epsilon > 0)) {
    return Error{"decor scale epsilon must be a finite value > 0"};
  }
  return ok_status();
}

}  // namespace quenfa::decor
