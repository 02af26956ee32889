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

TEST(RankedListPrepare, WeightSumsOutOfRangeKeepTheRatiosOfUnboundedArithmetic) {
  // A power of two changes no ratio: a sum that overflows gives the integer
  // weights of one that does not, with 2^30 / sum below 1 in both; a sum so
  // small that 2^30 / sum overflows those of one where it is above 2^52.
  const std::vector<double> base = {5.0, 3.0, -1.0, 0.0, -7.0};
  const auto times = [&](int e) {
    std::vector<double> out;
    for (double v : base) out.push_back(std::ldexp(v, e));
    return RankedList::prepare(out, 1.0);
  };
  EXPECT_EQ(times(1021).int_weights, times(900).int_weights);
  EXPECT_EQ(times(-1070).int_weights, times(-900).int_weights);
  EXPECT_EQ(times(900).int_total, std::int64_t{1} << 30);
  // In range, nothing is rescaled.
  std::vector<double> weights = {1e300, 2e300};
  EXPECT_EQ(rescaled_weight_total(weights), 3e300);
  EXPECT_EQ(weights, (std::vector<double>{1e300, 2e300}));
  std::vector<double> huge = {1.5e308, 1.5e308};  // the largest lands in [2^958, 2^959)
  EXPECT_EQ(rescaled_weight_total(huge), 2 * std::ldexp(1.5e308, -65));
  EXPECT_EQ(huge, (std::vector<double>{std::ldexp(1.5e308, -65), std::ldexp(1.5e308, -65)}));
}

TEST(RankedListChecks, RefuseNonFiniteScoresAndExponentsWithoutFiniteWeights) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const auto refused = RankedList::create_checked({"a", "b", "c"}, {1.0, -inf, nan});
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.failure().kind, ErrorKind::InvalidArgument);
  EXPECT_EQ(refused.error(),
            "Invalid score -inf for gene 'b'. Every score in ranks must be finite.");
  const auto ranked = RankedList::create_checked({"a", "b", "c"}, {2.0, -0.5, 0.0});
  ASSERT_TRUE(ranked.ok());
  EXPECT_EQ(ranked.value().genes, (std::vector<std::string>{"a", "c", "b"}));

  const RankedList& r = ranked.value();
  for (double p : {0.0, 1.0, 1000.0}) EXPECT_TRUE(r.check_weight_exponent(p).ok()) << p;
  for (double p : {-1.0, nan, inf}) {
    EXPECT_EQ(r.check_weight_exponent(p).error(),
              "gseaParam must be finite and greater than or equal to 0.");
  }
  EXPECT_EQ(r.check_weight_exponent(1100.0).error(),
            "gseaParam is too large: |score|^gseaParam is infinite for gene 'a'.");
  const RankedList small = RankedList::create({"x", "y"}, {0.5, -0.25});
  EXPECT_EQ(small.check_weight_exponent(1e300).error(),
            "gseaParam is too large: |score|^gseaParam is 0 for every gene.");
  EXPECT_TRUE(RankedList::create({"z"}, {0.0}).check_weight_exponent(1e300).ok());
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
