#include "quenfa/decor/multilevel_tail.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
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

// The side-adjusted scores of every k-subset of 0..n-1, n = |w|, k = |p|.
std::vector<double> all_set_values(const std::vector<double>& w, const std::vector<double>& p,
                                   ScoreType type, int side) {
  const std::size_t n = w.size();
  const std::size_t k = p.size();
  std::vector<std::size_t> set(k);
  std::iota(set.begin(), set.end(), std::size_t{0});
  std::vector<double> values;
  for (;;) {
    values.push_back(side * stats::enrichment_score(w, set, n, type, p).es);
    std::size_t i = k;
    while (i > 0 && set[i - 1] == n - k + i - 1) --i;
    if (i == 0) return values;
    ++set[i - 1];
    for (std::size_t j = i; j < k; ++j) set[j] = set[j - 1] + 1;
  }
}

// Exact tail probabilities by enumerating all C(30, 6) sets, several cuts
// deep. Moving each copy until a fixed number of swaps is accepted (instead
// of a number of attempts independent of its outcomes) ran 2-3.5x high here;
// a wrong cut factor, side or acceptance threshold shows up the same way.
// With 1001 sets per population one run's log P has a spread near 10 %, so
// the mean of 8 runs is held to 12 %.
TEST(DecorTail, MeanOfRunsMatchesExactEnumeration) {
  const std::vector<double> w = random_values(30, 0.0, 1000.0, 3);
  const std::vector<double> p = random_values(6, 0.1, 1.0, 4);
  for (auto [type, side] : {std::pair{ScoreType::Std, 1}, std::pair{ScoreType::Neg, -1}}) {
    std::vector<double> values = all_set_values(w, p, type, side);
    const std::size_t rank = values.size() / 500;  // P near 2e-3
    std::nth_element(values.begin(), values.begin() + rank, values.end(), std::greater<>());
    const double t = values[rank];
    const double expected = static_cast<double>(std::count_if(values.begin(), values.end(),
                                                              [t](double v) { return v >= t; })) /
                            static_cast<double>(values.size());
    double sum = 0.0;
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
      const auto estimate = run_decor_multilevel_tail(side * t, 0.0, w, p, 30, type, 1001, seed);
      ASSERT_TRUE(estimate);
      sum += *estimate;
    }
    EXPECT_NEAR(sum / 8, expected, 0.12 * expected) << "score type " << static_cast<int>(type);
    // A pure function of its arguments and seed.
    EXPECT_EQ(run_decor_multilevel_tail(side * t, 0.0, w, p, 30, type, 1001, 5),
              run_decor_multilevel_tail(side * t, 0.0, w, p, 30, type, 1001, 5));
  }
}

}  // namespace
}  // namespace quenfa::decor
