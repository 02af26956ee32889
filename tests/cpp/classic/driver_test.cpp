#include "quenfa/classic/driver.hpp"

#include <gtest/gtest.h>

#include "support/fixtures.hpp"

#include <cmath>

namespace quenfa::classic {
namespace {

std::vector<std::uint64_t> chunk_sizes(std::uint64_t nperm, bool allow_multilevel) {
  random::RMt19937SeedCompat stream = random::RMt19937SeedCompat::r_set_seed(1);
  std::vector<std::uint64_t> sizes;
  for (const PermutationChunk& c : permutation_chunks(nperm, allow_multilevel, stream)) {
    EXPECT_GE(c.seed, 1u);
    EXPECT_LE(c.seed, 1000000000u);
    sizes.push_back(c.permutations);
  }
  return sizes;
}

TEST(PermutationChunks, SplitsIntoGroupsOfAtLeastAThousandAndARemainder) {
  using V = std::vector<std::uint64_t>;
  EXPECT_EQ(chunk_sizes(2500, false), (V{1000, 1000, 500}));
  EXPECT_EQ(chunk_sizes(1000, false), (V{1000}));
  EXPECT_EQ(chunk_sizes(999, false), (V{999}));
  EXPECT_EQ(chunk_sizes(0, false), V{});
  EXPECT_EQ(chunk_sizes(2500, true), (V{2500}));

  const V big = chunk_sizes(200000, false);  // ceil(200000 / 128) = 1563
  ASSERT_EQ(big.size(), 128u);
  EXPECT_EQ(std::count(big.begin(), big.end(), 1563u), 127);
  EXPECT_EQ(big.back(), 1499u);
}

std::vector<EnrichmentResult> run(const RankedList& ranked, const PathwayDb& db,
                                  std::uint64_t nperm, std::uint64_t max_size = 1000) {
  return classic::run(ranked, db, nperm, 7, 1e-50, 1.0, 1, max_size, ScoreType::Std, false, 101);
}

TEST(RunGseaInternal, DegenerateInputsGiveTheStatedRecords) {
  const RankedList ranked = test_support::ten_genes(test_support::descending_scores(5.0));
  const PathwayDb db = {{"b", {"g0", "g1"}, {}}, {"a", {"g9", "g8", "x"}, {}}};

  // No permutations: every statistic but es is absent or NaN.
  const auto none = run(ranked, db, 0);
  ASSERT_EQ(none.size(), 2u);
  for (const EnrichmentResult& r : none) {
    EXPECT_FALSE(r.nes || r.padj || r.log2err);
    EXPECT_TRUE(std::isnan(r.pval));
  }
  EXPECT_EQ(none[0].pathway, "a");  // sorted by name
  EXPECT_EQ(none[0].size, 2u);
  EXPECT_LT(none[0].es, 0.0);
  EXPECT_EQ(none[0].leading_edge, (std::vector<std::string>{"g9", "g8"}));

  // No pathway in range, and an empty list.
  EXPECT_TRUE(run(ranked, {{"p", {"zz"}, {}}}, 100).empty());
  EXPECT_TRUE(run(RankedList{}, db, 100).empty());
  // One gene: the size bound is n - 1 = 0, so nothing is kept.
  EXPECT_TRUE(run(RankedList::create({"g0"}, {1.0}), {{"p", {"g0"}, {}}}, 100).empty());
}

TEST(RunGseaInternal, SortsByNameBytesKeepingFileOrderOfEqualNames) {
  const RankedList ranked = test_support::ten_genes(test_support::descending_scores(5.0));
  const PathwayDb db = {{"a", {"g1", "g2"}, {}},
                        {"B", {"g3", "g4"}, {}},
                        {"a", {"g5", "g6"}, {}},
                        {"ab", {"g0"}, {}}};
  const auto records = run(ranked, db, 50);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].pathway, "B");
  EXPECT_EQ(records[1].pathway, "a");
  EXPECT_EQ(records[1].leading_edge.front(), "g1");
  EXPECT_EQ(records[2].pathway, "a");
  EXPECT_EQ(records[2].leading_edge.front(), "g6");
  EXPECT_EQ(records[3].pathway, "ab");
}

TEST(RunGseaInternal, APathwaysStatisticsDoNotDependOnTheOtherPathways) {
  // Every chunk draws sets of the largest kept size once and scores them for
  // every pathway: other pathways no larger than the largest leave a
  // pathway's counters, and so its statistics, unchanged.
  const RankedList ranked = test_support::ten_genes(test_support::descending_scores(5.0));
  const PathwayDb with_small = {{"p", {"g0", "g2", "g5"}, {}}, {"q", {"g9"}, {}}};
  const PathwayDb with_other = {
      {"p", {"g0", "g2", "g5"}, {}}, {"r", {"g4", "g7"}, {}}, {"s", {"g1", "g8", "g9"}, {}}};
  const auto a = run(ranked, with_small, 3000);
  const auto b = run(ranked, with_other, 3000);
  ASSERT_EQ(a.size(), 2u);
  ASSERT_EQ(b.size(), 3u);
  ASSERT_EQ(a[0].pathway, "p");
  ASSERT_EQ(b[0].pathway, "p");
  EXPECT_EQ(a[0].es, b[0].es);
  EXPECT_EQ(a[0].pval, b[0].pval);
  EXPECT_EQ(a[0].nes, b[0].nes);
  EXPECT_EQ(a[0].log2err, b[0].log2err);
  EXPECT_TRUE(a[0].log2err.has_value());
}

}  // namespace
}  // namespace quenfa::classic
