// NumPy's pairwise summation: order of additions and the reference vectors.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "blitz/compat/vectors.hpp"
#include "quenfa/blitz/compat/numpy_pairwise_sum.hpp"

namespace quenfa::test {
namespace {

using quenfa::blitz::compat::numpy_pairwise_sum_f32;
using quenfa::blitz::compat::numpy_pairwise_sum_f64;

TEST(NumpyPairwiseSum, EmptyAndNegativeZero) {
  EXPECT_TRUE(std::signbit(numpy_pairwise_sum_f64({})));
  EXPECT_EQ(numpy_pairwise_sum_f64({}), 0.0);
  const std::vector<double> negative_zero{-0.0};
  EXPECT_TRUE(std::signbit(numpy_pairwise_sum_f64(negative_zero)));
  const std::vector<float> negative_zeros{-0.0f, -0.0f, -0.0f};
  EXPECT_TRUE(std::signbit(numpy_pairwise_sum_f32(negative_zeros)));
}

// Values whose sum depends on the grouping: 1 is lost against 2^53 when added
// alone, and survives when it meets another 1 first.
TEST(NumpyPairwiseSum, EightValuesCombineAccumulatorsPairwise) {
  const double big = 9007199254740992.0;  // 2^53
  const std::vector<double> a{big, 1.0, 1.0, 1.0, -big, 1.0, 1.0, 1.0};
  // Pairwise: ((big + 1) + (1 + 1)) + ((-big + 1) + (1 + 1)) = (big + 2) + (3 - big) = 5.
  // Left to right, the first three ones are lost against big and the sum is 3.
  EXPECT_EQ(numpy_pairwise_sum_f64(a), 5.0);
}

TEST(NumpyPairwiseSum, TailAfterTheLastBlockOfEightIsSequential) {
  const double big = 9007199254740992.0;
  std::vector<double> a(8, 0.0);
  a[0] = big;
  a.push_back(1.0);  // n = 10: the last two values are added one at a time
  a.push_back(1.0);
  // Each 1 is lost against big (a tie, rounded to even); summing the tail
  // first would give big + 2.
  EXPECT_EQ(numpy_pairwise_sum_f64(a), big);
}

// 129 values split at 64: the first half's accumulators never see the second
// half's values.
TEST(NumpyPairwiseSum, AboveOneHundredTwentyEightSplitsAtAMultipleOfEight) {
  const double big = 9007199254740992.0;
  std::vector<double> a(129, 0.0);
  a[0] = big;
  a[64] = 1.0;
  a[72] = 1.0;
  // Split at 64: big + (1 + 1) keeps both ones; one block of 129 would add
  // them to the lane holding big one at a time.
  EXPECT_EQ(numpy_pairwise_sum_f64(a), big + 2.0);
  std::vector<double> b(a.begin(), a.begin() + 128);
  EXPECT_EQ(numpy_pairwise_sum_f64(b), big);  // one block: both ones meet big in lane 0
}

TEST(NumpyPairwiseSum, FloatAccumulatorsStayFloat) {
  // 2^24 + 1 is not a float: a double accumulator would keep the ones.
  const std::vector<float> a{16777216.0f, 1.0f, 1.0f};
  EXPECT_EQ(numpy_pairwise_sum_f32(a), 16777216.0f);
}

TEST(NumpyPairwiseSum, MatchesNumpyVectors) {
  EXPECT_GT(expect_compat_kind(committed_compat_vectors(), "sum_f64"), 100u);
  EXPECT_GT(expect_compat_kind(committed_compat_vectors(), "sum_f32"), 100u);
}

}  // namespace
}  // namespace quenfa::test
