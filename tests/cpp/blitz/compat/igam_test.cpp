// The Cephes incomplete gamma functions: boundary values, the branch each
// regime takes and the reference vectors.

#include <gtest/gtest.h>

#include <cmath>

#include "blitz/compat/vectors.hpp"
#include "quenfa/blitz/compat/cephes_unity.hpp"
#include "quenfa/blitz/compat/igam.hpp"
#include "quenfa/blitz/compat/igam_parts.hpp"

namespace quenfa::test {
namespace {

namespace compat = quenfa::blitz::compat;

TEST(Igam, BoundaryValues) {
  EXPECT_EQ(compat::igam(1.0, 0.0), 0.0);
  EXPECT_EQ(compat::igamc(1.0, 0.0), 1.0);
  EXPECT_EQ(compat::igam(0.0, 2.0), 1.0);
  EXPECT_EQ(compat::igamc(0.0, 2.0), 0.0);
  EXPECT_EQ(compat::igam(2.0, INFINITY), 1.0);
  EXPECT_EQ(compat::igamc(2.0, INFINITY), 0.0);
  EXPECT_EQ(compat::igam(INFINITY, 2.0), 0.0);
  EXPECT_EQ(compat::igamc(INFINITY, 2.0), 1.0);
  for (const auto& [a, x] : {std::pair{-1.0, 1.0},
                             {1.0, -1.0},
                             {NAN, 1.0},
                             {1.0, NAN},
                             {0.0, 0.0},
                             {INFINITY, INFINITY}}) {
    EXPECT_TRUE(std::isnan(compat::igam(a, x))) << a << " " << x;
    EXPECT_TRUE(std::isnan(compat::igamc(a, x))) << a << " " << x;
  }
}

// Each regime returns exactly what its branch computes.
TEST(Igam, RegimesTakeTheirBranch) {
  // Asymptotic: 20 < a < 200 with |x - a| / a < 0.3, and a > 200 with
  // |x - a| / a < 4.5 / sqrt(a).
  EXPECT_EQ(compat::igam(50.0, 55.0), compat::igam_asymptotic_series(50.0, 55.0, true));
  EXPECT_EQ(compat::igamc(50.0, 55.0), compat::igam_asymptotic_series(50.0, 55.0, false));
  EXPECT_EQ(compat::igam(1e4, 1.03e4), compat::igam_asymptotic_series(1e4, 1.03e4, true));
  // a = 20 exactly is outside the asymptotic regime.
  EXPECT_EQ(compat::igam(20.0, 20.0), compat::igam_series(20.0, 20.0));
  // x > 1 and x > a: 1 - Q by the continued fraction.
  EXPECT_EQ(compat::igam(2.0, 5.0), 1.0 - compat::igamc_continued_fraction(2.0, 5.0));
  // Q for x > 1.1 below a: 1 - P's series.
  EXPECT_EQ(compat::igamc(5.0, 2.0), 1.0 - compat::igam_series(5.0, 2.0));
  // Q for small x and small a: DLMF 8.7.3; for larger a: 1 - P.
  EXPECT_EQ(compat::igamc(0.1, 0.3), compat::igamc_series(0.1, 0.3));
  EXPECT_EQ(compat::igamc(2.0, 0.3), 1.0 - compat::igam_series(2.0, 0.3));
  EXPECT_EQ(compat::igamc(0.8, 0.8), compat::igamc_series(0.8, 0.8));
  EXPECT_EQ(compat::igamc(1.0, 0.8), 1.0 - compat::igam_series(1.0, 0.8));
}

TEST(Igam, Log1pmxSwitchesFromItsSeriesAtOneHalf) {
  EXPECT_EQ(compat::log1pmx(0.5), compat::cephes_log1p(0.5) - 0.5);
  EXPECT_NEAR(compat::log1pmx(0.4999), std::log1p(0.4999) - 0.4999, 1e-16);
  EXPECT_EQ(compat::log1pmx(0.0), 0.0);
}

TEST(Igam, MatchesScipyVectors) {
  EXPECT_GT(expect_compat_kind(committed_compat_vectors(), "gammainc"), 500u);
  EXPECT_GT(expect_compat_kind(committed_compat_vectors(), "gammaincc"), 500u);
}

}  // namespace
}  // namespace quenfa::test
