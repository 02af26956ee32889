// SciPy's digamma: documented values, branches and the reference vectors.

#include <gtest/gtest.h>

#include <cmath>

#include "blitz/compat/vectors.hpp"
#include "quenfa/blitz/compat/scipy_digamma.hpp"

namespace quenfa::test {
namespace {

using quenfa::blitz::compat::scipy_digamma;

TEST(ScipyDigamma, IntegerBranchSumsReciprocalsInOrder) {
  EXPECT_EQ(scipy_digamma(1.0), -0.5772156649015329);
  double harmonic = 0.0;
  for (int i = 1; i <= 9; ++i) harmonic += 1.0 / i;
  EXPECT_EQ(scipy_digamma(10.0), harmonic - 0.5772156649015329);
}

TEST(ScipyDigamma, PolesAndNonFiniteArguments) {
  EXPECT_EQ(scipy_digamma(0.0), -INFINITY);
  EXPECT_EQ(scipy_digamma(-0.0), INFINITY);
  EXPECT_EQ(scipy_digamma(INFINITY), INFINITY);
  EXPECT_TRUE(std::isnan(scipy_digamma(-INFINITY)));
  EXPECT_TRUE(std::isnan(scipy_digamma(NAN)));
  EXPECT_TRUE(std::isnan(scipy_digamma(-3.0)));
}

TEST(ScipyDigamma, NegativeRootSeriesIsNearZeroAtTheRoot) {
  EXPECT_EQ(scipy_digamma(-0.504083008264455409), 7.2897639029768949e-17);
}

TEST(ScipyDigamma, MatchesScipyVectors) {
  EXPECT_GT(expect_compat_kind(committed_compat_vectors(), "digamma"), 500u);
}

}  // namespace
}  // namespace quenfa::test
