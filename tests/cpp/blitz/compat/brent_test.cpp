// Brent's root finder: bracket handling, the iteration cap and the reference
// vectors from scipy.optimize.brentq.

#include <gtest/gtest.h>

#include <cmath>

#include "blitz/compat/vectors.hpp"
#include "quenfa/blitz/compat/brent_root.hpp"

namespace quenfa::test {
namespace {

using quenfa::blitz::compat::brent_root;

TEST(BrentRoot, ZeroAtAnEndReturnsThatEnd) {
  int calls = 0;
  const auto f = [&calls](double x) {
    ++calls;
    return x - 2.0;
  };
  EXPECT_EQ(brent_root(f, 2.0, 5.0), 2.0);
  EXPECT_EQ(brent_root(f, 0.0, 2.0), 2.0);
  EXPECT_EQ(calls, 4);
}

// Without a sign change there is no bracket: NaN, never an iterate.
TEST(BrentRoot, NoBracketIsNaN) {
  EXPECT_TRUE(std::isnan(brent_root([](double x) { return x * x + 1.0; }, -1.0, 1.0)));
  EXPECT_TRUE(std::isnan(brent_root([](double x) { return 1.0 / x; }, 0.0, 1.0)));
  EXPECT_TRUE(std::isnan(brent_root([](double x) { return std::log(x); }, -1.0, 2.0)));
}

TEST(BrentRoot, StopsAfterOneHundredSteps) {
  int calls = 0;
  // A sign change with no root to converge to within the tolerance: a jump.
  const double got = brent_root(
      [&calls](double x) {
        ++calls;
        return x < 1.0 / 3.0 ? -1.0 : 1.0;
      },
      0.0, 1.0);
  EXPECT_LE(calls, 102);
  EXPECT_NEAR(got, 1.0 / 3.0, 1e-11);
}

TEST(BrentRoot, MatchesScipyVectors) {
  EXPECT_GT(expect_compat_kind(committed_compat_vectors(), "brentq"), 90u);
}

}  // namespace
}  // namespace quenfa::test
