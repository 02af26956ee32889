// Options of the redundancy-discounted method: the option record, its
// enumerations and text forms, the release presets and stringency dial, the
// formula overrides, the three choice parsers and the engine-side validation.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quenfa/core/result.hpp"

namespace quenfa::decor {

enum class DecorWeightFormula : std::uint8_t {
  RawRational = 0,
  ScaledRational = 1,
  Q75ScaledRational = 2,
  ExpScaled = 3,
  OddsRational = 4,
  ThresholdRational = 5,
  QuantileRational = 6,
  FloorScaledRational = 7,
  PowerRetention = 8,
};
enum class DecorCorrelation : std::uint8_t { Pearson = 0, Spearman = 1 };
enum class DecorRedundancy : std::uint8_t { PositiveMean = 0, AbsMean = 1 };
enum class DecorCacheMode : std::uint8_t { Auto = 0, Reuse = 1, Rebuild = 2 };

// Text forms, as used in messages and (correlation, redundancy) in cache
// metadata: "threshold-rational", "pearson", "positive_mean", "auto", ...
std::string_view to_text(DecorWeightFormula formula);
std::string_view to_text(DecorCorrelation correlation);
std::string_view to_text(DecorRedundancy redundancy);
std::string_view to_text(DecorCacheMode mode);

struct DecorOptions {
  std::optional<std::string> cache_path;
  std::optional<std::string> expression_path;
  DecorWeightFormula weight_formula = DecorWeightFormula::ThresholdRational;
  double alpha = 60.0;
  double gamma = 1.0;
  double threshold = 0.04;
  double penalty_floor = 0.0;
  double scale_epsilon = 1e-12;
  DecorCorrelation correlation = DecorCorrelation::Pearson;
  DecorRedundancy redundancy = DecorRedundancy::PositiveMean;
  DecorCacheMode cache_mode = DecorCacheMode::Auto;
};

// Applies a release preset ("sensitive", "balanced", "specific", "strict";
// ASCII case-insensitive) or the row a stringency in [0, 100] selects;
// "balanced" when neither is given. On failure `options` is unchanged.
Status apply_decor_release_tuning(DecorOptions& options, const std::optional<std::string>& preset,
                                  std::optional<double> stringency);

// Overwrites the fields whose value is given, after checking every given
// value; on failure `options` is unchanged. Only "raw-rational",
// "exp-scaled" and "threshold-rational" may be chosen here.
Status apply_decor_formula_overrides(DecorOptions& options,
                                     const std::optional<std::string>& weight_formula,
                                     std::optional<double> alpha, std::optional<double> threshold,
                                     std::optional<double> gamma,
                                     std::optional<double> penalty_floor, double scale_epsilon);

// The choice parsers compare after ASCII lower-casing. A caller that wants
// full Unicode lower-casing (so that a message quotes it) lowers first.
Result<DecorCacheMode> parse_decor_cache_mode(std::string_view text);
Result<DecorCorrelation> parse_decor_correlation(std::string_view text);
Result<DecorRedundancy> parse_decor_redundancy(std::string_view text);

// Checks the numeric parameters in the order alpha, gamma, threshold,
// penalty floor, scale epsilon.
Status validate_decor_options(const DecorOptions& options);

}  // namespace quenfa::decor
