// The inverse normal survival function: boundary values, the sign of zero and
// the reference vectors.

#include <gtest/gtest.h>

#include <cmath>

#include "blitz/compat/vectors.hpp"
#include "quenfa/blitz/compat/ndtri.hpp"

namespace quenfa::test {
namespace {

using quenfa::blitz::compat::normal_isf;

TEST(NormalIsf, BoundaryValues) {
  EXPECT_EQ(normal_isf(0.0), INFINITY);
  EXPECT_EQ(normal_isf(1.0), -INFINITY);
  for (const double q : {-0.1, 1.1, static_cast<double>(NAN)}) {
    EXPECT_TRUE(std::isnan(normal_isf(q))) << q;
    EXPECT_FALSE(std::signbit(normal_isf(q))) << q;  // SciPy's NaN is positive
  }
}

// The central formula gives +0 at q = 0.5 and the negation keeps it: -0.0
// (scipy.stats.norm.isf adds its location 0.0 and returns +0.0).
TEST(NormalIsf, HalfIsNegativeZero) {
  EXPECT_EQ(normal_isf(0.5), 0.0);
  EXPECT_TRUE(std::signbit(normal_isf(0.5)));
}

TEST(NormalIsf, MatchesScipyVectors) {
  EXPECT_GT(expect_compat_kind(committed_compat_vectors(), "norm_isf"), 500u);
}

}  // namespace
}  // namespace quenfa::test
