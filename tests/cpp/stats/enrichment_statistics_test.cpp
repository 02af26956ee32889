#include "quenfa/stats/enrichment_statistics.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quenfa::stats {
namespace {

using Hits = std::vector<std::size_t>;
const std::vector<std::string> kGenes = {"g0", "g1", "g2", "g3"};

TEST(CalculateEsKelda, ScoresAndPeaksOfSmallLists) {
  struct Case {
    const char* what;
    std::vector<double> w;
    Hits hits;
    ScoreType type;
    std::size_t peak;
    double es;
  };
  const std::vector<double> w4321 = {4, 3, 2, 1};
  const std::vector<double> ones = {1, 1, 1, 1};
  const Case cases[] = {
      {"worked example", w4321, {0, 1}, ScoreType::Std, 1, 1.0},
      {"no hits", w4321, {}, ScoreType::Std, 0, 0.0},
      {"hits cover the list", w4321, {0, 1, 2, 3}, ScoreType::Std, 0, 0.0},
      {"max equals -min", ones, {0, 3}, ScoreType::Std, 0, 0.0},
      {"zero weights weigh 1/k", {0, 0, 0, 0}, {1}, ScoreType::Std, 1, 1.0 - 1.0 / 3.0},
      {"bottom hit, std", w4321, {3}, ScoreType::Std, 3, -1.0},
      {"bottom hit, pos", w4321, {3}, ScoreType::Pos, 3, 0.0},
      {"bottom hit, neg", w4321, {3}, ScoreType::Neg, 3, -1.0},
      {"negative weights count by magnitude", {-4, -3, 2, 1}, {0, 1}, ScoreType::Std, 1, 1.0},
  };
  for (const Case& c : cases) {
    const EsPeak r = enrichment_score(c.w, c.hits, c.w.size(), c.type);
    EXPECT_EQ(r.peak, c.peak) << c.what;
    EXPECT_EQ(r.es, c.es) << c.what;
  }
}

TEST(CalculateEsKelda, NanWeightGivesNanOrZeroNeverACrash) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const EsPeak r =
      enrichment_score(std::vector<double>{nan, 1, 1, 1}, Hits{0, 2}, 4, ScoreType::Std);
  EXPECT_TRUE(std::isnan(r.es) || r.es == 0.0);
}

TEST(LeadingEdge, TakesHitsOnThePeaksSide) {
  const Hits hits = {0, 1, 3};
  using V = std::vector<std::string>;
  EXPECT_EQ(leading_edge(hits, 1, ScoreType::Pos, kGenes, 0.5), (V{"g0", "g1"}));
  EXPECT_EQ(leading_edge(hits, 1, ScoreType::Neg, kGenes, -0.5), (V{"g3", "g1"}));
  EXPECT_EQ(leading_edge(hits, 1, ScoreType::Std, kGenes, 0.5), (V{"g0", "g1"}));
  EXPECT_EQ(leading_edge(hits, 1, ScoreType::Std, kGenes, -0.5), (V{"g3", "g1"}));
  EXPECT_TRUE(leading_edge(hits, 1, ScoreType::Std, kGenes, 0.0).empty());
  EXPECT_TRUE(
      leading_edge(hits, 1, ScoreType::Std, kGenes, std::numeric_limits<double>::quiet_NaN())
          .empty());
}

TEST(NormalizedEnrichmentScore, DividesByTheMeanOfTheMatchingSide) {
  PermutationCounters c;
  c.le_zero = 4;
  c.le_zero_sum = -2.0;  // mean -0.5
  c.ge_zero = 2;
  c.ge_zero_sum = 0.5;  // mean 0.25
  EXPECT_EQ(normalized_enrichment_score(0.5, c, ScoreType::Std), 2.0);
  EXPECT_EQ(normalized_enrichment_score(-0.25, c, ScoreType::Std), -0.5);
  EXPECT_EQ(normalized_enrichment_score(0.0, c, ScoreType::Std), 0.0);
  EXPECT_EQ(normalized_enrichment_score(0.5, c, ScoreType::Pos), 2.0);
  EXPECT_FALSE(normalized_enrichment_score(-0.5, c, ScoreType::Pos));
  EXPECT_EQ(normalized_enrichment_score(-0.25, c, ScoreType::Neg), -0.5);
  EXPECT_FALSE(normalized_enrichment_score(0.5, c, ScoreType::Neg));
  EXPECT_FALSE(normalized_enrichment_score(std::nan(""), c, ScoreType::Std));
  EXPECT_FALSE(normalized_enrichment_score(0.5, PermutationCounters{}, ScoreType::Std));
}

TEST(ApplyBhAdjustment, RunningMinimumOverFiniteValuesWithMCountingAll) {
  std::vector<EnrichmentResult> r(4);
  const double p[] = {0.01, 0.04, 0.03, std::numeric_limits<double>::quiet_NaN()};
  for (int i = 0; i < 4; ++i) r[i].pval = p[i];
  apply_bh_adjustment(r, BhDenominator::AllRecords);
  EXPECT_EQ(r[0].padj, 0.04);
  EXPECT_EQ(r[1].padj, 0.04 * 4 / 3);
  EXPECT_EQ(r[2].padj, 0.04 * 4 / 3);
  EXPECT_FALSE(r[3].padj.has_value());

  std::vector<EnrichmentResult> capped(2);
  capped[0].pval = 0.9;
  capped[1].pval = 0.8;
  apply_bh_adjustment(capped, BhDenominator::AllRecords);
  EXPECT_EQ(capped[0].padj, 0.9);
  EXPECT_EQ(capped[1].padj, 0.9);

  std::vector<EnrichmentResult> none(2);
  apply_bh_adjustment(none, BhDenominator::AllRecords);
  EXPECT_FALSE(none[0].padj || none[1].padj);
}

TEST(ShouldRefineMultilevel, RefinesOnlyCoarsePermutationEstimates) {
  // Expected answers from the Beta quantiles and trigamma of a reference
  // statistics library; every case is at least 10% away from the threshold.
  struct Case {
    std::uint64_t a, b, permutations, sample_size;
    bool refine;
  };
  const Case cases[] = {
      {0, 500, 1000, 101, true},    {1, 500, 1000, 101, true},  {5, 500, 1000, 101, true},
      {10, 500, 1000, 101, true},   {20, 500, 1000, 101, true}, {50, 500, 1000, 101, false},
      {100, 500, 1000, 101, false}, {3, 50, 100, 101, true},    {10, 50, 100, 101, true},
      {2, 500, 1000, 10001, true},  {50, 500, 1000, 11, false}, {1000, 1000, 1000, 101, false},
  };
  for (const Case& c : cases) {
    const double pval = (c.a + 1.0) / (c.permutations + 1.0);
    EXPECT_EQ(should_refine_multilevel(c.a, c.b, c.permutations, c.sample_size, pval), c.refine)
        << c.a << " of " << c.permutations << ", N=" << c.sample_size;
  }
  // Guards: a small mode count, a non-finite P-value, no permutations.
  EXPECT_FALSE(should_refine_multilevel(0, 9, 1000, 101, 0.001));
  EXPECT_FALSE(should_refine_multilevel(0, 500, 1000, 101, std::nan("")));
  EXPECT_FALSE(should_refine_multilevel(0, 500, 0, 101, 0.5));
}

}  // namespace
}  // namespace quenfa::stats
