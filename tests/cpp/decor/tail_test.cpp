#include "quenfa/decor/multilevel_tail.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include "quenfa/stats/enrichment_statistics.hpp"

namespace quenfa::decor {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<double> random_values(std::size_t count, double lo, double hi, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> draw(lo, hi);
  std::vector<double> v(count);
  for (double& x : v) x = draw(rng);
  return v;
}

TEST(DecorTail, NothingToEstimateGivesOne) {
  const std::vector<double> w(10, 1.0);
  const std::vector<double> p3(3, 1.0);
  for (double es : {0.0, kNaN, kInf, -kInf}) {
    EXPECT_EQ(run_decor_multilevel_tail(es, 1e-10, w, p3, 10, ScoreType::Std, 101, 1), 1.0);
  }
  EXPECT_EQ(run_decor_multilevel_tail(0.5, 1e-10, w, {}, 10, ScoreType::Std, 101, 1), 1.0);
  const std::vector<double> p10(10, 1.0);
  EXPECT_EQ(run_decor_multilevel_tail(0.5, 1e-10, w, p10, 10, ScoreType::Std, 101, 1), 1.0);
}

TEST(DecorTail, MedianAlreadyAtTheTargetGivesTheHarmonicFactor) {
  // One hit with equal weights scores 1 - h / (n - 1) > 0 under pos unless it
  // is the last gene, so every sample reaches a tiny target: c = N.
  const std::vector<double> w(1000, 1.0);
  const std::vector<double> p = {1.0};
  EXPECT_EQ(run_decor_multilevel_tail(1e-9, 0.0, w, p, 1000, ScoreType::Pos, 101, 3),
            0.9901478633380527);
  // sampleSize below 3 gives N = 3.
  for (std::uint64_t sample_size : {1, 2, 3}) {
    EXPECT_EQ(run_decor_multilevel_tail(1e-9, 0.0, w, p, 1000, ScoreType::Pos, sample_size, 3),
              std::exp(-(1.0 / 3.0)));
  }
}

TEST(DecorTail, EarlyStopAtTheFirstCutGivesItsFactor) {
  // 101 distinct values: the first cut drops E = 50 samples, a factor of
  // exp(-(1/52 + ... + 1/101)); with eps_bound 1 every cut stops early.
  const std::vector<double> w = random_values(200, 0.0, 1000.0, 1);
  const std::vector<double> p = random_values(12, 0.0, 1.0, 2);
  double h = 0.0;
  for (int g = 52; g <= 101; ++g) h += -1.0 / g;
  const auto stopped = run_decor_multilevel_tail(0.95, 1.0, w, p, 200, ScoreType::Std, 101, 9);
  EXPECT_EQ(stopped, std::exp(h));
  // A bound of 0 or NaN never stops early.
  const auto zero = run_decor_multilevel_tail(0.6, 0.0, w, p, 200, ScoreType::Std, 101, 9);
  const auto nan = run_decor_multilevel_tail(0.6, kNaN, w, p, 200, ScoreType::Std, 101, 9);
  ASSERT_TRUE(zero && nan);
  EXPECT_EQ(*zero, *nan);
  EXPECT_LT(*zero, std::exp(h));
}

TEST(DecorTail, DegeneratePopulationsGiveAbsent) {
  // NaN weights: std scores every set 0 (all values equal below the
  // target); pos finds no top at all (median -inf).
  const std::vector<double> w(50, kNaN);
  const std::vector<double> p(5, 1.0);
  EXPECT_FALSE(run_decor_multilevel_tail(0.5, 1e-10, w, p, 50, ScoreType::Std, 101, 4));
  EXPECT_FALSE(run_decor_multilevel_tail(0.5, 1e-10, w, p, 50, ScoreType::Pos, 101, 4));
}

// The fraction of random sets of size k scoring at least |es| on the side of
// es, by plain Monte Carlo.
double brute_force_tail(double es, const std::vector<double>& w, const std::vector<double>& p,
                        ScoreType type, int sets) {
  std::mt19937_64 rng(77);
  std::vector<std::size_t> all(w.size());
  std::iota(all.begin(), all.end(), std::size_t{0});
  std::vector<std::size_t> set(p.size());
  int hits = 0;
  for (int s = 0; s < sets; ++s) {
    for (std::size_t i = 0; i < p.size(); ++i) {  // partial Fisher-Yates
      std::uniform_int_distribution<std::size_t> pick(i, all.size() - 1);
      std::swap(all[i], all[pick(rng)]);
    }
    std::copy_n(all.begin(), p.size(), set.begin());
    std::sort(set.begin(), set.end());
    const double score = stats::enrichment_score(w, set, w.size(), type, p).es;
    hits += (es >= 0 ? score : -score) >= std::fabs(es);
  }
  return static_cast<double>(hits) / sets;
}

// Moving each copy until a fixed number of swaps is accepted samples the
// jump chain of the swap walk, which favours sets with many admissible
// neighbours (high scores): the estimates run high, here by a factor near 2
// at a probability near 1e-2. The band catches faults beyond that bias (a
// wrong cut factor, a wrong side, a population not above the cut).
TEST(DecorTail, AgreesWithMonteCarloUpToItsConservativeBias) {
  const std::vector<double> w = random_values(120, 0.0, 1000.0, 3);
  const std::vector<double> p = random_values(8, 0.1, 1.0, 4);
  for (auto [es, type] : {std::pair{0.62, ScoreType::Std}, std::pair{-0.62, ScoreType::Neg}}) {
    const double expected = brute_force_tail(es, w, p, type, 400000);
    ASSERT_GT(expected, 5e-4);  // resolved by the brute force
    ASSERT_LT(expected, 2e-2);  // several cuts deep
    const auto estimate = run_decor_multilevel_tail(es, 0.0, w, p, 120, type, 1001, 21);
    ASSERT_TRUE(estimate);
    EXPECT_GT(*estimate, 0.8 * expected) << *estimate << " vs " << expected;
    EXPECT_LT(*estimate, 3.0 * expected) << *estimate << " vs " << expected;
    // A pure function of its arguments and seed.
    EXPECT_EQ(run_decor_multilevel_tail(es, 0.0, w, p, 120, type, 1001, 21), estimate);
  }
}

}  // namespace
}  // namespace quenfa::decor
