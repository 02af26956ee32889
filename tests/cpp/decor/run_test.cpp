#include "quenfa/decor/decor_run.hpp"

#include <gtest/gtest.h>

#include "support/fixtures.hpp"

#include <bit>
#include <cmath>
#include <random>

#include "quenfa/classic/driver.hpp"
#include "quenfa/decor/null_distribution.hpp"
#include "quenfa/decor/seed_fold.hpp"
#include "quenfa/stats/enrichment_statistics.hpp"
#include "quenfa/stats/pathway_record.hpp"

namespace quenfa::decor {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> random_weights(std::size_t n, std::mt19937_64& rng) {
  std::uniform_int_distribution<std::int64_t> draw(0, 1 << 20);
  std::vector<double> w(n);
  for (double& x : w) x = static_cast<double>(draw(rng));
  return w;
}

std::vector<std::size_t> random_hits(std::size_t n, std::size_t k, std::mt19937_64& rng) {
  std::vector<std::size_t> all(n);
  std::iota(all.begin(), all.end(), std::size_t{0});
  std::shuffle(all.begin(), all.end(), rng);
  all.resize(k);
  std::sort(all.begin(), all.end());
  return all;
}

TEST(DecorScore, UnitPenaltiesGiveTheClassicScoreAndPeak) {
  std::mt19937_64 rng(11);
  for (int trial = 0; trial < 200; ++trial) {
    const std::size_t n = 2 + rng() % 60;
    const std::size_t k = 1 + rng() % (n - 1);
    const std::vector<double> w = random_weights(n, rng);
    const std::vector<std::size_t> hits = random_hits(n, k, rng);
    const std::vector<double> ones(k, 1.0);
    for (ScoreType t : {ScoreType::Std, ScoreType::Pos, ScoreType::Neg}) {
      const stats::EsPeak classic = stats::enrichment_score(w, hits, n, t);
      const stats::EsPeak decor = stats::enrichment_score(w, hits, n, t, ones);
      ASSERT_EQ(std::bit_cast<std::uint64_t>(decor.es), std::bit_cast<std::uint64_t>(classic.es));
      ASSERT_EQ(decor.peak, classic.peak);
    }
  }
}

TEST(DecorScore, PenaltiesScaleStepsAndZeroStepsFallBackToUnitSteps) {
  // n = 5, hits at 0 and 3 with weights 3 and 1: penalties (1/3, 1) make the
  // steps equal, the same as equal weights with unit penalties.
  const std::vector<double> w = {3, 9, 9, 1, 9};
  const std::vector<std::size_t> hits = {0, 3};
  const std::vector<double> equalising = {1.0 / 3.0, 1.0};
  const std::vector<double> flat = {1, 1, 1, 1, 1};
  for (ScoreType t : {ScoreType::Std, ScoreType::Pos, ScoreType::Neg}) {
    const stats::EsPeak expected = stats::enrichment_score(flat, hits, 5, t);
    EXPECT_EQ(stats::enrichment_score(w, hits, 5, t, equalising).es, expected.es);
    // All penalties 0: every hit steps by 1/k.
    const stats::EsPeak zero = stats::enrichment_score(w, hits, 5, t, std::vector<double>{0, 0});
    EXPECT_EQ(zero.es, expected.es);
    EXPECT_EQ(zero.peak, expected.peak);
  }
  // std with max = -min exactly: 0 at the first hit. Hits 0 and 3 of n = 4,
  // equal steps: top 0.5 at hit 0, bottom -0.5 at hit 3.
  const std::vector<double> two_ones = {1, 1};
  const stats::EsPeak tie =
      stats::enrichment_score(flat, std::vector<std::size_t>{0, 3}, 4, ScoreType::Std, two_ones);
  EXPECT_EQ(tie.es, 0.0);
  EXPECT_EQ(tie.peak, 0u);
  // No hits, or every gene a hit: 0.
  EXPECT_EQ(stats::enrichment_score(flat, {}, 4, ScoreType::Pos, {}).es, 0.0);
  const stats::EsPeak full =
      stats::enrichment_score(flat, std::vector<std::size_t>{1, 2}, 2, ScoreType::Pos, two_ones);
  EXPECT_EQ(full.es, 0.0);
  EXPECT_EQ(full.peak, 1u);
}

TEST(DecorSeedFold, IsTheSplitMix64FinaliserFoldedTo32Bits) {
  // The first output of a SplitMix64 generator started at state 0 is
  // 0xE220A8397B1DCDAF: the finaliser of 0x9E3779B97F4A7C15, i.e. of size 0
  // with seed 0.
  EXPECT_EQ(size_group_seed32(0, 0), 0xE220A839u ^ 0x7B1DCDAFu);
  // The seed enters by XOR after the salt; the refinement salt is 1000003 above.
  EXPECT_EQ(size_group_seed32(5, 0x9E3779B97F4A7C15ull ^ 0x9E3779B97F4A7C1Aull),
            size_group_seed32(0, 0));
  EXPECT_EQ(refinement_seed32(0, 0), fold_seed32(0x9E3779B97F4A7C15ull + 1000003));
  // High bits of the seed change the stream, unlike a cast to 32 bits.
  EXPECT_NE(size_group_seed32(15, 1), size_group_seed32(15, 1 | (1ull << 40)));
}

// A kept-pathway list of `members` pathways of size k with random penalties
// (the second one all zero, to take the unit-step path) and random scores.
std::vector<stats::PathwayRecord> group_of(std::size_t members, std::size_t k,
                                           std::mt19937_64& rng) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<stats::PathwayRecord> kept(members);
  for (std::size_t j = 0; j < members; ++j) {
    kept[j].size = k;
    kept[j].penalties.resize(k);
    for (double& p : kept[j].penalties) p = j == 1 ? 0.0 : unit(rng);
    kept[j].es = unit(rng) - 0.5;
  }
  return kept;
}

TEST(DecorNullDistribution, BatchedGroupsCountBitForBitLikeOneByOne) {
  std::mt19937_64 rng(5);
  const std::size_t n = 300;
  const std::vector<double> w = random_weights(n, rng);
  for (std::size_t k : {1, 7, 40}) {
    const std::vector<stats::PathwayRecord> kept = group_of(20, k, rng);
    const std::vector<DecorRuntimeSizeGroup> groups = build_size_groups(kept);
    ASSERT_EQ(groups.size(), 1u);
    ASSERT_TRUE(groups[0].batched);
    for (ScoreType t : {ScoreType::Std, ScoreType::Pos, ScoreType::Neg}) {
      const NullScoring scoring{w, n, t};
      std::vector<stats::PermutationCounters> one(20), batched(20);
      BatchScratch scratch;
      for_each_null_set(k, n, 300, 42, [&](std::span<const std::size_t> s) {
        tally_members_one_by_one(groups[0], kept, scoring, s, one);
        tally_members_batched(groups[0], scoring, s, scratch, batched);
      });
      for (std::size_t j = 0; j < 20; ++j) {
        EXPECT_EQ(batched[j].le, one[j].le);
        EXPECT_EQ(batched[j].ge, one[j].ge);
        EXPECT_EQ(batched[j].le_zero, one[j].le_zero);
        EXPECT_EQ(batched[j].ge_zero, one[j].ge_zero);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(batched[j].le_zero_sum),
                  std::bit_cast<std::uint64_t>(one[j].le_zero_sum));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(batched[j].ge_zero_sum),
                  std::bit_cast<std::uint64_t>(one[j].ge_zero_sum));
      }
    }
  }
}

TEST(DecorNullDistribution, GroupsBySizeAndBatchesFromSixteenMembers) {
  std::mt19937_64 rng(1);
  std::vector<stats::PathwayRecord> kept = group_of(15, 3, rng);
  const std::vector<stats::PathwayRecord> sixteen = group_of(16, 2, rng);
  kept.insert(kept.begin() + 4, sixteen.begin(), sixteen.end());
  const std::vector<DecorRuntimeSizeGroup> groups = build_size_groups(kept);
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0].size, 2u);
  EXPECT_TRUE(groups[0].batched);
  EXPECT_EQ(groups[0].members.front(), 4u);
  // Position-major: entry (i, j) is member j's penalty of hit position i.
  EXPECT_EQ(groups[0].penalty_matrix[1 * 16 + 3], kept[7].penalties[1]);
  EXPECT_EQ(groups[0].observed_es[3], kept[7].es);
  EXPECT_EQ(groups[1].size, 3u);
  EXPECT_FALSE(groups[1].batched);
  EXPECT_TRUE(groups[1].penalty_matrix.empty());
}

struct StatisticsCase {
  const char* name;
  stats::PermutationCounters counts;
  double es;
  ScoreType type;
  bool multilevel;
  std::optional<double> nes;
  double pval;
  bool has_log2err;
};

TEST(DecorPermutationStatistics, TableOfCases) {
  const std::vector<StatisticsCase> cases = {
      // A positive es above every null: ge = 0, pval = 1 / (ge_zero + 1).
      {"above every null",
       {40, 0, 20, 20, -4.0, 8.0},
       0.9,
       ScoreType::Std,
       false,
       0.9 / 0.4,
       1.0 / 21,
       true},
      {"floored at eps",
       {40, 0, 20, 20, -4.0, 8.0},
       0.9,
       ScoreType::Std,
       false,
       0.9 / 0.4,
       0.25,
       true},
      // Few null scores on the side of es: the multilevel entry drops it all.
      {"few on its side, simple",
       {40, 1, 38, 2, -4.0, 0.2},
       0.5,
       ScoreType::Std,
       false,
       5.0,
       2.0 / 3,
       true},
      {"few on its side, multilevel",
       {40, 1, 38, 2, -4.0, 0.2},
       0.5,
       ScoreType::Std,
       true,
       std::nullopt,
       kNaN,
       false},
      {"no null on its side",
       {40, 0, 40, 0, -4.0, 0.0},
       0.5,
       ScoreType::Pos,
       false,
       std::nullopt,
       kNaN,
       false},
      {"neg", {3, 40, 40, 0, -8.0, 0.0}, -0.5, ScoreType::Neg, false, -2.5, 4.0 / 41, true},
  };
  for (const StatisticsCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<stats::PathwayRecord> kept(1);
    kept[0].es = c.es;
    kept[0].counters = c.counts;
    const double eps = std::string(c.name) == "floored at eps" ? 0.25 : 0.0;
    stats::permutation_pvalues(kept, 40, c.type,
                               {.floor = eps,
                                .log2err_without_side = false,
                                .leave_unresolved_to_multilevel = c.multilevel});
    EXPECT_EQ(kept[0].nes, c.nes);
    if (std::isnan(c.pval)) {
      EXPECT_TRUE(std::isnan(kept[0].pval));
    } else {
      EXPECT_EQ(kept[0].pval, c.pval);
    }
    EXPECT_EQ(kept[0].log2err.has_value(), c.has_log2err);
  }
}

DecorPathwayScores scores_of(std::vector<std::string> genes, std::vector<float> redundancy) {
  return {std::move(genes), std::move(redundancy)};
}

DecorRunSettings settings(std::uint64_t nperm) {
  DecorRunSettings s;
  s.nperm = nperm;
  s.max_size = 1000;
  return s;
}

TEST(DecorRun, HitsNeedTheRankedListAndTheCacheEntry) {
  const RankedList ranked = test_support::ten_genes(test_support::descending_scores(10.0));
  DecorCache cache;
  // g1 twice in the entry: the later score (0 -> penalty 1) counts.
  cache.pathways["A"] = scores_of({"g1", "g3", "g1", "x"}, {0.9f, 0.0f, 0.0f, 0.0f});
  cache.pathways["C"] = scores_of({"x"}, {0.0f});
  const PathwayDb db = {
      {"A", {"g3", "g1", "g3", "g5", "x"}, {}},  // g5 has no score, x no rank
      {"B", {"g0", "g2"}, {}},                   // no cache entry
      {"C", {"x", "g4"}, {}},                    // nothing in both
  };
  auto records = run(ranked, db, cache, DecorOptions{}, settings(0), 1, false);
  ASSERT_TRUE(records.ok()) << records.error();
  ASSERT_EQ(records.value().size(), 1u);
  const EnrichmentResult& a = records.value()[0];
  EXPECT_EQ(a.pathway, "A");
  EXPECT_EQ(a.size, 2u);
  // Both penalties are 1: the classic score of hits {1, 3}.
  const PreparedStats stats = RankedList::prepare(ranked.scores, 1.0);
  const std::vector<double> w(stats.int_weights.begin(), stats.int_weights.end());
  EXPECT_EQ(a.es,
            stats::enrichment_score(w, std::vector<std::size_t>{1, 3}, 10, ScoreType::Std).es);
  EXPECT_EQ(a.leading_edge, (std::vector<std::string>{"g1", "g3"}));
  EXPECT_FALSE(a.nes || a.log2err || a.padj);
  EXPECT_TRUE(std::isnan(a.pval));
}

TEST(DecorRun, FailuresAreErrorsAndEmptyInputsGiveNoRecords) {
  const RankedList ranked = test_support::ten_genes(test_support::descending_scores(10.0));
  DecorCache cache;
  cache.pathways["A"] = scores_of({"g1", "g3"}, {0.5f, 0.5f});
  const PathwayDb db = {{"A", {"g1", "g3"}, {}}};

  DecorOptions bad_alpha;
  bad_alpha.alpha = -1;
  EXPECT_EQ(run(ranked, db, cache, bad_alpha, settings(10), 1, false).error(),
            "decor alpha must be a finite value >= 0");
  DecorOptions scaled;
  scaled.weight_formula = DecorWeightFormula::ScaledRational;
  EXPECT_TRUE(run(ranked, db, DecorCache{}, scaled, settings(10), 1, false)
                  .error()
                  .starts_with("selected formula scaled-rational could not compute"));
  DecorOptions odds;  // a penalty that cannot be computed fails the whole run
  odds.weight_formula = DecorWeightFormula::OddsRational;
  odds.scale_epsilon = 2;
  EXPECT_EQ(run(ranked, db, cache, odds, settings(10), 1, false).error(),
            "selected formula odds-rational needs a decor scale epsilon of at most 1");

  auto empty = run(RankedList{}, db, cache, DecorOptions{}, settings(10), 1, true);
  ASSERT_TRUE(empty.ok());
  EXPECT_TRUE(empty.value().empty());
}

TEST(DecorRun, UnitPenaltiesReproduceClassicScoresAndRecordsSortByNameBytes) {
  const RankedList ranked = test_support::ten_genes(test_support::descending_scores(10.0));
  DecorCache cache;
  PathwayDb db;
  for (const char* name : {"ab", "B", "a"}) {
    db.push_back({name, {"g0", "g4", "g7"}, {}});
    cache.pathways[name] = scores_of({"g0", "g4", "g7"}, {0.0f, 0.01f, 0.04f});
  }
  db[1].genes = {"g9", "g8"};
  cache.pathways["B"] = scores_of({"g9", "g8"}, {0.0f, 0.0f});
  auto decor = run(ranked, db, cache, DecorOptions{}, settings(50), 3, true);
  ASSERT_TRUE(decor.ok());
  const auto classic =
      classic::run(ranked, db, 50, 3, 1e-50, 1.0, 1, 1000, ScoreType::Std, true, 101);
  ASSERT_EQ(decor.value().size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(decor.value()[i].pathway, classic[i].pathway);
    EXPECT_EQ(decor.value()[i].es, classic[i].es);
    EXPECT_EQ(decor.value()[i].leading_edge, classic[i].leading_edge);
  }
  EXPECT_EQ(decor.value()[0].pathway, "B");
  EXPECT_EQ(decor.value()[2].pathway, "ab");
}

}  // namespace
}  // namespace quenfa::decor
