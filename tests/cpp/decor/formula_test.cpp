#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "quenfa/decor/formula_context.hpp"

namespace quenfa::decor {
namespace {

DecorCache cache_with(std::vector<std::vector<float>> scores) {
  DecorCache cache;
  for (std::size_t i = 0; i < scores.size(); ++i) {
    DecorPathwayScores& p = cache.pathways["P" + std::to_string(i)];
    p.redundancy = scores[i];
    p.genes.assign(scores[i].size(), "G");
  }
  return cache;
}

DecorFormulaContext context_for(DecorWeightFormula formula, const DecorCache& cache,
                                double alpha = 1, double threshold = 0, double gamma = 1,
                                double floor = 0) {
  DecorOptions options;
  options.weight_formula = formula;
  options.alpha = alpha;
  options.threshold = threshold;
  options.gamma = gamma;
  options.penalty_floor = floor;
  return make_decor_formula_context(cache, options).value();
}

TEST(DecorPercentile, LinearInterpolation) {
  const std::vector<double> v = {1, 2, 3, 4};
  EXPECT_EQ(percentile_sorted(v, 0.5), 2.5);
  EXPECT_EQ(percentile_sorted(v, 0.75), 3.25);
  EXPECT_EQ(percentile_sorted(v, 2.0), 4);
  EXPECT_EQ(percentile_sorted(v, -1.0), 1);
  EXPECT_EQ(percentile_sorted(std::vector<double>{7}, 0.3), 7);
  EXPECT_FALSE(percentile_sorted(std::vector<double>{}, 0.5));
}

TEST(DecorFiniteRedundancy, WalksEveryPathwayKeepsFiniteAndSorts) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const auto values = finite_cache_redundancy(cache_with({{0.5f, nan, 0.0f}, {-0.0f, 0.25f}}));
  ASSERT_EQ(values.size(), 4u);
  EXPECT_TRUE(std::signbit(values[0]));  // -0.0 before +0.0
  EXPECT_FALSE(std::signbit(values[1]));
  EXPECT_EQ(values[2], 0.25);
  EXPECT_EQ(values[3], 0.5);
}

TEST(DecorPenalty, EachFormulaOnAKnownCache) {
  // Scores 0.1, 0.2, 0.2, 0.4: median 0.2, q75 0.25.
  const DecorCache cache = cache_with({{0.1f, 0.2f}, {0.2f, 0.4f}});
  const double m = static_cast<double>(0.2f),
               q = 0.25 * static_cast<double>(0.4f) + 0.75 * static_cast<double>(0.2f);
  const double eps = 1e-12;
  struct Case {
    DecorWeightFormula formula;
    double r;
    double expected;
  };
  const Case cases[] = {
      {DecorWeightFormula::RawRational, 0.5, 1 / (1 + 2 * 0.5)},
      {DecorWeightFormula::RawRational, -0.25, 2.0},  // not clamped: above 1
      {DecorWeightFormula::ScaledRational, 0.3, 1 / (1 + 2 * (0.3 / (m + eps)))},
      {DecorWeightFormula::Q75ScaledRational, 0.3, 1 / (1 + 2 * (0.3 / (q + eps)))},
      {DecorWeightFormula::ExpScaled, 0.3, std::exp(-2 * (0.3 / (m + eps)))},
      {DecorWeightFormula::OddsRational, 0.5, 1 / (1 + 2 * (0.5 / (eps + 0.5)))},
      {DecorWeightFormula::OddsRational, 1.5, 1 / (1 + 2 * ((1 - eps) / (eps + (1 - (1 - eps)))))},
      {DecorWeightFormula::ThresholdRational, 0.04, 1.0},
      {DecorWeightFormula::ThresholdRational, 0.03, 1.0},
      {DecorWeightFormula::ThresholdRational, 0.54, 1 / (1 + 2 * (0.54 - 0.04))},
      // Mid-rank quantile over [0.1, 0.2, 0.2, 0.4].
      {DecorWeightFormula::QuantileRational, static_cast<double>(0.2f), 1 / (1 + 2 * 0.5)},
      {DecorWeightFormula::QuantileRational, 0.05, 1.0},
      {DecorWeightFormula::QuantileRational, static_cast<double>(0.4f), 1 / (1 + 2 * 1.0)},
      {DecorWeightFormula::QuantileRational, 0.3, 1 / (1 + 2 * (5 * 0.5 / 3))},
      {DecorWeightFormula::QuantileRational, 0.9, 1 / (1 + 2 * 1.0)},
      {DecorWeightFormula::FloorScaledRational, 0.3,
       (1 - 0.25) * (1 / (1 + 2 * (0.3 / (m + eps)))) + 0.25},
      {DecorWeightFormula::PowerRetention, 0.75, std::pow(0.25, 3.0)},
      {DecorWeightFormula::PowerRetention, 1.5, 0.0},
  };
  for (const Case& c : cases) {
    const auto ctx = context_for(c.formula, cache, 2, 0.04, 3, 0.25);
    const Result<double> p = ctx.penalty(c.r);
    ASSERT_TRUE(p) << p.error();
    EXPECT_EQ(p.value(), c.expected) << to_text(c.formula) << " r=" << c.r;
  }
}

TEST(DecorPenalty, StrictAtTheMedianIsJustAboveOneTenth) {
  const DecorCache cache = cache_with({{0.1f, 0.3f, 0.5f}});
  DecorOptions options;
  ASSERT_TRUE(apply_decor_release_tuning(options, std::string("strict"), std::nullopt));
  const auto ctx = make_decor_formula_context(cache, options).value();
  const double m = static_cast<double>(0.3f);
  const double p = ctx.penalty(m).value();
  EXPECT_EQ(p, std::exp(-std::log(10.0) * (m / (m + 1e-12))));
  EXPECT_GT(p, 0.1);
  EXPECT_LT(p, 0.1 + 1e-10);
}

TEST(DecorPenalty, Failures) {
  const DecorCache cache = cache_with({{0.5f}});
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    DecorWeightFormula formula;
    double r;
    const char* message;
  };
  const Case cases[] = {
      {DecorWeightFormula::ThresholdRational, inf, "decor redundancy score must be finite"},
      {DecorWeightFormula::PowerRetention, std::nan(""), "decor redundancy score must be finite"},
      // 1 / (1 + 1 * -1) divides by zero; 1 / (1 - 2) is negative.
      {DecorWeightFormula::RawRational, -1,
       "selected formula raw-rational produced an invalid penalty from redundancy -1"},
      {DecorWeightFormula::RawRational, -2.5,
       "selected formula raw-rational produced an invalid penalty from redundancy -2.5"},
  };
  for (const Case& c : cases) {
    const auto p = context_for(c.formula, cache).penalty(c.r);
    ASSERT_FALSE(p);
    EXPECT_EQ(p.error(), c.message);
  }
}

TEST(DecorPenalty, OddsRationalRefusesAnEpsilonAboveOne) {
  DecorOptions options;
  options.weight_formula = DecorWeightFormula::OddsRational;
  options.scale_epsilon = 1.5;
  const auto ctx = make_decor_formula_context(cache_with({{0.5f}}), options).value();
  EXPECT_EQ(ctx.penalty(0.5).error(),
            "selected formula odds-rational needs a decor scale epsilon of at most 1");
  options.scale_epsilon = 1;
  EXPECT_EQ(make_decor_formula_context(cache_with({{0.5f}}), options).value().penalty(0.5).value(),
            1.0);
}

TEST(DecorFormulaContext, ScaleFormulasNeedFiniteScores) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const DecorCache empty = cache_with({{nan}, {}});
  for (auto formula : {DecorWeightFormula::ScaledRational, DecorWeightFormula::Q75ScaledRational,
                       DecorWeightFormula::ExpScaled, DecorWeightFormula::QuantileRational,
                       DecorWeightFormula::FloorScaledRational}) {
    DecorOptions options;
    options.weight_formula = formula;
    const auto ctx = make_decor_formula_context(empty, options);
    ASSERT_FALSE(ctx);
    EXPECT_EQ(ctx.error(), "selected formula " + std::string(to_text(formula)) +
                               " could not compute redundancy scale because the decor cache has "
                               "no finite redundancy scores");
    // The penalty enforces the same need on a context built by hand.
    DecorFormulaContext bare;
    bare.weight_formula = formula;
    EXPECT_EQ(bare.penalty(0.5).error(), "selected formula " + std::string(to_text(formula)) +
                                             " requires finite redundancy scores in the decor "
                                             "cache");
  }
  for (auto formula : {DecorWeightFormula::RawRational, DecorWeightFormula::OddsRational,
                       DecorWeightFormula::ThresholdRational, DecorWeightFormula::PowerRetention}) {
    DecorOptions options;
    options.weight_formula = formula;
    const auto ctx = make_decor_formula_context(empty, options);
    ASSERT_TRUE(ctx);
    EXPECT_FALSE(ctx.value().median);
    EXPECT_TRUE(ctx.value().penalty(0.5));
  }
}

}  // namespace
}  // namespace quenfa::decor
