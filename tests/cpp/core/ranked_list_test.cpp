#include "quenfa/core/ranked_list.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "quenfa/core/pathway_hits.hpp"

namespace quenfa {
namespace {

TEST(RankedListCreate, SortsByDescendingScoreKeepingInputOrderOfTies) {
  RankedList r = RankedList::create({"a", "b", "c"}, {1.0, 3.0, 2.0});
  EXPECT_EQ(r.genes, (std::vector<std::string>{"b", "c", "a"}));
  EXPECT_EQ(r.scores, (std::vector<double>{3.0, 2.0, 1.0}));

  RankedList ties = RankedList::create({"x", "y", "z", "w"}, {1.0, 2.0, 1.0, 2.0});
  EXPECT_EQ(ties.genes, (std::vector<std::string>{"y", "w", "x", "z"}));

  EXPECT_EQ(RankedList::create({}, {}).size(), 0u);
}

TEST(RankedListCreate, NanScoresNeitherCrashNorLoseGenes) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<std::string> genes;
  std::vector<double> scores;
  for (int i = 0; i < 100; ++i) {
    genes.push_back("g" + std::to_string(i));
    scores.push_back(i % 7 == 0 ? nan : std::sin(i));
  }
  RankedList r = RankedList::create(genes, scores);
  ASSERT_EQ(r.size(), 100u);
  std::vector<std::string> sorted = r.genes;
  std::sort(sorted.begin(), sorted.end());
  std::sort(genes.begin(), genes.end());
  EXPECT_EQ(sorted, genes);
  // Runs of finite scores between NaNs stay in descending order.
  for (std::size_t i = 1; i < r.size(); ++i) {
    if (!std::isnan(r.scores[i - 1]) && !std::isnan(r.scores[i])) {
      EXPECT_GE(r.scores[i - 1], r.scores[i]);
    }
  }
}

TEST(RankedListPrepare, ScalesWeightsToIntegersNearTwoToThirty) {
  PreparedStats p1 = RankedList::prepare({2.0, -2.0}, 1.0);
  EXPECT_EQ(p1.abs_weights, (std::vector<double>{2.0, 2.0}));
  EXPECT_EQ(p1.int_weights, (std::vector<std::int64_t>{1 << 29, 1 << 29}));
  EXPECT_EQ(p1.int_total, std::int64_t{1} << 30);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  PreparedStats p0 = RankedList::prepare({0.0, nan, -5.0}, 0.0);
  EXPECT_EQ(p0.abs_weights, (std::vector<double>{1.0, 1.0, 1.0}));
  // scale = floor(2^30 / 3) = 357913941
  EXPECT_EQ(p0.int_weights, (std::vector<std::int64_t>{357913941, 357913941, 357913941}));

  PreparedStats empty = RankedList::prepare({}, 1.0);
  EXPECT_TRUE(empty.int_weights.empty());
  EXPECT_EQ(empty.int_total, 0);

  // Total 0: the scale is infinite and 0 * inf = NaN saturates to 0.
  PreparedStats zeros = RankedList::prepare({0.0, 0.0}, 1.0);
  EXPECT_EQ(zeros.int_weights, (std::vector<std::int64_t>{0, 0}));

  // A scale below 1 is used unrounded: 3e9 * (2^30 / 4e9) = 805306368.
  PreparedStats big = RankedList::prepare({3e9, 1e9}, 1.0);
  EXPECT_EQ(big.int_weights, (std::vector<std::int64_t>{805306368, 268435456}));
}

TEST(RoundToI64Saturating, RoundsHalfToEvenAndSaturates) {
  EXPECT_EQ(round_to_i64_saturating(2.5), 2);
  EXPECT_EQ(round_to_i64_saturating(3.5), 4);
  EXPECT_EQ(round_to_i64_saturating(-2.5), -2);
  EXPECT_EQ(round_to_i64_saturating(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(round_to_i64_saturating(1e300), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(round_to_i64_saturating(9223372036854775808.0),
            std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(round_to_i64_saturating(-1e300), std::numeric_limits<std::int64_t>::min());
}

TEST(PathwayHits, CountEachPresentGeneOnceInAscendingOrder) {
  const std::vector<std::string> genes = {"A", "B", "C", "D", "B"};
  GeneIndex index = build_gene_index(genes);
  EXPECT_EQ(index.at("B"), 4u);  // a later duplicate replaces the earlier position
  EXPECT_EQ(extract_pathway_hits({"D", "X", "A", "D", "C"}, index),
            (std::vector<std::size_t>{0, 2, 3}));
  EXPECT_TRUE(extract_pathway_hits({"X", "Y"}, index).empty());
}

}  // namespace
}  // namespace quenfa
