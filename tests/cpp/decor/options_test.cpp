#include "quenfa/decor/decor_options.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quenfa::decor {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(DecorOptions, DefaultsAreTheBalancedPreset) {
  const DecorOptions defaults;
  DecorOptions tuned;
  tuned.alpha = 1;
  ASSERT_TRUE(apply_decor_release_tuning(tuned, std::nullopt, std::nullopt));
  for (const DecorOptions& o : {defaults, tuned}) {
    EXPECT_EQ(o.weight_formula, DecorWeightFormula::ThresholdRational);
    EXPECT_EQ(o.alpha, 60.0);
    EXPECT_EQ(o.gamma, 1.0);
    EXPECT_EQ(o.threshold, 0.04);
    EXPECT_EQ(o.penalty_floor, 0.0);
    EXPECT_EQ(o.scale_epsilon, 1e-12);
  }
  EXPECT_EQ(defaults.cache_mode, DecorCacheMode::Auto);
  EXPECT_EQ(defaults.correlation, DecorCorrelation::Pearson);
  EXPECT_EQ(defaults.redundancy, DecorRedundancy::PositiveMean);
}

TEST(DecorReleaseTuning, StringencyRowsAndBoundaries) {
  struct Case {
    double s;
    DecorWeightFormula formula;
    double alpha, threshold;
  };
  const Case cases[] = {
      {0, DecorWeightFormula::RawRational, 22.0, 0.0},
      {-0.0, DecorWeightFormula::RawRational, 22.0, 0.0},
      {34.999, DecorWeightFormula::RawRational, 22.0, 0.0},
      {35, DecorWeightFormula::ThresholdRational, 60.0, 0.04},
      {64.999, DecorWeightFormula::ThresholdRational, 60.0, 0.04},
      {65, DecorWeightFormula::ThresholdRational, 65.0, 0.05},
      {85, DecorWeightFormula::ExpScaled, 2.302585092994046, 0.0},
      {100, DecorWeightFormula::ExpScaled, 2.302585092994046, 0.0},
  };
  for (const Case& c : cases) {
    DecorOptions o;
    o.gamma = 5;
    o.penalty_floor = 0.5;
    ASSERT_TRUE(apply_decor_release_tuning(o, std::nullopt, c.s)) << c.s;
    EXPECT_EQ(o.weight_formula, c.formula) << c.s;
    EXPECT_EQ(o.alpha, c.alpha) << c.s;
    EXPECT_EQ(o.threshold, c.threshold) << c.s;
    EXPECT_EQ(o.gamma, 1.0);
    EXPECT_EQ(o.penalty_floor, 0.0);
  }
  EXPECT_EQ(2.302585092994046, std::log(10.0));
}

TEST(DecorReleaseTuning, FailuresQuoteTheirInputAndLeaveOptionsAlone) {
  struct Case {
    std::optional<std::string> preset;
    std::optional<double> stringency;
    const char* message;
  };
  const Case cases[] = {
      {"balanced", 50.0, "Use either decor_preset or decor_stringency, not both."},
      {std::nullopt, 100.0001,
       "Invalid decor stringency '100.0001'. Expected a finite value from 0 to 100."},
      {std::nullopt, -0.5,
       "Invalid decor stringency '-0.5'. Expected a finite value from 0 to 100."},
      {std::nullopt, 150, "Invalid decor stringency '150'. Expected a finite value from 0 to 100."},
      {std::nullopt, kNaN,
       "Invalid decor stringency 'NaN'. Expected a finite value from 0 to 100."},
      {std::nullopt, kInf,
       "Invalid decor stringency 'inf'. Expected a finite value from 0 to 100."},
      {std::nullopt, -kInf,
       "Invalid decor stringency '-inf'. Expected a finite value from 0 to 100."},
      {std::nullopt, 1e21,
       "Invalid decor stringency '1000000000000000000000'. Expected a finite value from 0 to 100."},
      {"Loose", std::nullopt,
       "Invalid decor preset 'loose'. Expected one of: sensitive, balanced, specific, strict."},
  };
  for (const Case& c : cases) {
    DecorOptions o;
    o.alpha = 7;
    const Status st = apply_decor_release_tuning(o, c.preset, c.stringency);
    ASSERT_FALSE(st);
    EXPECT_EQ(st.error(), c.message);
    EXPECT_EQ(o.alpha, 7);
  }
}

TEST(DecorReleaseTuning, PresetNamesIgnoreAsciiCase) {
  DecorOptions o;
  ASSERT_TRUE(apply_decor_release_tuning(o, std::string("STRICT"), std::nullopt));
  EXPECT_EQ(o.weight_formula, DecorWeightFormula::ExpScaled);
  ASSERT_TRUE(apply_decor_release_tuning(o, std::string("Specific"), std::nullopt));
  EXPECT_EQ(o.alpha, 65.0);
}

TEST(DecorFormulaOverrides, EachCheckAndItsMessage) {
  struct Case {
    std::optional<std::string> formula;
    std::optional<double> alpha, threshold, gamma, floor;
    double epsilon;
    const char* message;  // nullptr: accepted
  };
  const auto none = std::nullopt;
  const char* kFormulas =
      "Invalid decor weight formula 'quantile-rational'. Expected one of: raw-rational, "
      "exp-scaled, threshold-rational.";
  const Case cases[] = {
      {"Quantile-Rational", none, none, none, none, 1e-12, kFormulas},
      {"EXP-SCALED", 0.0, 0.999, -0.0, 0.999, 5e-324, nullptr},
      {none, -1.0, none, none, none, 1e-12, "decor_alpha must be a finite numeric value >= 0."},
      {none, kNaN, none, none, none, 1e-12, "decor_alpha must be a finite numeric value >= 0."},
      {none, none, 1.0, none, none, 1e-12,
       "decor_threshold must be a finite numeric value >= 0 and < 1."},
      {none, none, none, kInf, none, 1e-12, "decor_gamma must be a finite numeric value >= 0."},
      {none, none, none, none, 1.0, 1e-12,
       "decor_penalty_floor must be a finite numeric value >= 0 and < 1."},
      {none, none, none, none, none, 0.0,
       "decor_scale_epsilon must be a finite numeric value > 0."},
      {none, none, none, none, none, -0.0,
       "decor_scale_epsilon must be a finite numeric value > 0."},
      {none, none, none, none, none, kInf,
       "decor_scale_epsilon must be a finite numeric value > 0."},
      // Checks run in order: the formula name before alpha.
      {"odds-rational", -1.0, none, none, none, 1e-12,
       "Invalid decor weight formula 'odds-rational'. Expected one of: raw-rational, exp-scaled, "
       "threshold-rational."},
      // A bad epsilon after good values: nothing is applied.
      {"raw-rational", 3.0, none, none, none, kNaN,
       "decor_scale_epsilon must be a finite numeric value > 0."},
  };
  for (const Case& c : cases) {
    DecorOptions o;
    const Status st = apply_decor_formula_overrides(o, c.formula, c.alpha, c.threshold, c.gamma,
                                                    c.floor, c.epsilon);
    if (c.message == nullptr) {
      EXPECT_TRUE(st) << st.error();
      EXPECT_EQ(o.weight_formula, DecorWeightFormula::ExpScaled);
      EXPECT_EQ(o.threshold, 0.999);
      EXPECT_EQ(o.scale_epsilon, 5e-324);
    } else {
      ASSERT_FALSE(st);
      EXPECT_EQ(st.error(), c.message);
      EXPECT_EQ(o.weight_formula, DecorWeightFormula::ThresholdRational);
      EXPECT_EQ(o.alpha, 60.0);
    }
  }
}

TEST(DecorFormulaOverrides, PresetThenAlphaKeepsThePresetsFormulaAndThreshold) {
  DecorOptions o;
  ASSERT_TRUE(apply_decor_release_tuning(o, std::string("specific"), std::nullopt));
  ASSERT_TRUE(apply_decor_formula_overrides(o, std::nullopt, 5.0, std::nullopt, std::nullopt,
                                            std::nullopt, 1e-12));
  EXPECT_EQ(o.weight_formula, DecorWeightFormula::ThresholdRational);
  EXPECT_EQ(o.threshold, 0.05);
  EXPECT_EQ(o.alpha, 5.0);
}

TEST(DecorChoiceParsers, AcceptTheirNamesInAnyCaseAndQuoteTheLoweredText) {
  EXPECT_EQ(parse_decor_cache_mode("ReBuild").value(), DecorCacheMode::Rebuild);
  EXPECT_EQ(parse_decor_cache_mode("reuse").value(), DecorCacheMode::Reuse);
  EXPECT_EQ(parse_decor_correlation("SPEARMAN").value(), DecorCorrelation::Spearman);
  EXPECT_EQ(parse_decor_redundancy("Abs_Mean").value(), DecorRedundancy::AbsMean);
  EXPECT_EQ(parse_decor_cache_mode("Always").error(),
            "Invalid decor_cache_mode 'always'. Expected one of: auto, reuse, rebuild.");
  EXPECT_EQ(parse_decor_correlation("Kendall").error(),
            "Invalid decor_correlation 'kendall'. Expected one of: pearson, spearman.");
  EXPECT_EQ(parse_decor_redundancy("max").error(),
            "Invalid decor_redundancy 'max'. Expected one of: positive_mean, abs_mean.");
}

TEST(DecorValidation, ChecksEachParameterInOrder) {
  struct Case {
    double alpha, gamma, threshold, floor, epsilon;
    const char* message;
  };
  const Case cases[] = {
      {0, 0, 0, 0, 5e-324, nullptr},
      {kNaN, -1, 1, 1, 0, "decor alpha must be a finite value >= 0"},
      {1, -1, 1, 1, 0, "decor gamma must be a finite value >= 0"},
      {1, 1, 1, 1, 0, "decor threshold must be a finite value >= 0 and < 1"},
      {1, 1, 0.5, -0.1, 0, "decor penalty floor must be a finite value >= 0 and < 1"},
      {1, 1, 0.5, 0.5, -0.0, "decor scale epsilon must be a finite value > 0"},
  };
  for (const Case& c : cases) {
    DecorOptions o;
    o.alpha = c.alpha;
    o.gamma = c.gamma;
    o.threshold = c.threshold;
    o.penalty_floor = c.floor;
    o.scale_epsilon = c.epsilon;
    const Status st = validate_decor_options(o);
    if (c.message == nullptr) {
      EXPECT_TRUE(st);
    } else {
      ASSERT_FALSE(st);
      EXPECT_EQ(st.error(), c.message);
    }
  }
}

}  // namespace
}  // namespace quenfa::decor
