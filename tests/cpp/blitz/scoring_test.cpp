#include <gtest/gtest.h>

#include <cmath>

#include "quenfa/blitz/scoring.hpp"
#include "quenfa/stats/enrichment_statistics.hpp"

namespace quenfa::blitz {
namespace {

TEST(BlitzHitTotal, SevenHitsUseTheirOwnTreeOtherCountsThePairwiseSum) {
  // 1e16 + 1 rounds back to 1e16 (ties to even), so a left-to-right sum of
  // these loses every 1; the tree keeps four of them.
  const std::vector<double> seven = {1, 1e16, 1, 1, 1, 1, 1};
  EXPECT_EQ(blitz_hit_total(seven), 1e16 + 4);
  const std::vector<double> six = {1, 1e16, 1, 1, 1, 1};
  EXPECT_EQ(blitz_hit_total(six), 1e16);  // NumPy sums short arrays left to right
}

TEST(BlitzGammaTail, ZeroScoreTakesTheExactPathWithPEqualToZero) {
  // ES = 0 is scored on the negative side with x = -0: P is exactly 0, so the
  // tail is 1 - pos_ratio when that is below 0.5, else 0.5 with P-value 1.
  const auto above =
      gamma_tail_probability_with_fallback_flag(TailSide::Negative, 50, -0.0, 2.0, 0.1, 0.7);
  ASSERT_TRUE(above.ok()) << above.error();
  EXPECT_TRUE(above.value().fallback);
  EXPECT_EQ(above.value().cdf, 0.0);
  EXPECT_EQ(above.value().one_minus_cdf, 1.0);
  EXPECT_EQ(above.value().tail, 1 - 0.7);  // exact in both precisions
  EXPECT_EQ(above.value().pvalue, 2 * (1 - 0.7));

  const auto below =
      gamma_tail_probability_with_fallback_flag(TailSide::Negative, 50, -0.0, 2.0, 0.1, 0.3);
  ASSERT_TRUE(below.ok());
  EXPECT_EQ(below.value().tail, 0.5);
  EXPECT_EQ(below.value().pvalue, 1.0);
}

TEST(BlitzGammaTail, DoublePathAndItsGuards) {
  // A central CDF stays in double precision.
  const auto mid =
      gamma_tail_probability_with_fallback_flag(TailSide::Positive, 50, 0.2, 2.0, 0.1, 0.5);
  ASSERT_TRUE(mid.ok());
  EXPECT_FALSE(mid.value().fallback);
  EXPECT_GT(mid.value().cdf, 0.5);
  EXPECT_EQ(mid.value().one_minus_cdf, 1 - mid.value().cdf);
  EXPECT_EQ(mid.value().pvalue, mid.value().tail + mid.value().tail);
  // No P-value of 0 from a computation that failed: a NaN CDF (invalid
  // parameters or score), a NaN ratio, or a side the model gives no
  // probability (ratio 1 below zero, 0 above) leaves tail and P-value NaN.
  struct NoPValue {
    TailSide side;
    double x, alpha, pos_ratio;
  };
  const NoPValue no_p_value[] = {
      {TailSide::Positive, 0.2, -1.0, 0.5},         {TailSide::Positive, 0.2, std::nan(""), 0.5},
      {TailSide::Negative, std::nan(""), 2.0, 0.5}, {TailSide::Positive, 0.2, 2.0, std::nan("")},
      {TailSide::Negative, 0.2, 2.0, 1.0},          {TailSide::Positive, 0.2, 2.0, 0.0},
  };
  for (const NoPValue& c : no_p_value) {
    const auto t =
        gamma_tail_probability_with_fallback_flag(c.side, 50, c.x, c.alpha, 0.1, c.pos_ratio);
    ASSERT_TRUE(t.ok());
    EXPECT_TRUE(std::isnan(t.value().tail)) << c.x << " " << c.alpha << " " << c.pos_ratio;
    EXPECT_TRUE(std::isnan(t.value().pvalue)) << c.x << " " << c.alpha << " " << c.pos_ratio;
  }
  // A far tail is recomputed at high precision.
  const auto far =
      gamma_tail_probability_with_fallback_flag(TailSide::Positive, 50, 5.0, 2.0, 0.1, 0.5);
  ASSERT_TRUE(far.ok());
  EXPECT_TRUE(far.value().fallback);
  EXPECT_GT(far.value().tail, 0.0);
  EXPECT_LT(far.value().tail, 1e-15);
}

TEST(BlitzBh, MatchesTheStepUpRuleWithTiesAndLeavesNonFiniteNaN) {
  std::vector<EnrichmentResult> r(4);
  const double p[] = {0.04, 0.01, std::nan(""), 0.04};
  for (int i = 0; i < 4; ++i) r[i].pval = p[i];
  stats::apply_bh_adjustment(r, stats::BhDenominator::FinitePvalues);
  EXPECT_EQ(r[1].padj, 0.01 / (1.0 / 3.0));
  EXPECT_EQ(r[0].padj, 0.04);
  EXPECT_EQ(r[3].padj, 0.04);
  EXPECT_TRUE(std::isnan(r[2].padj.value()));  // no P-value, so no adjusted one either
}

}  // namespace
}  // namespace quenfa::blitz
