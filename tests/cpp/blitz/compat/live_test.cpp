// The reference numerics against the installed NumPy and SciPy, run live with
// other seeds than the committed vectors, so that the vectors cannot go stale.

#include <gtest/gtest.h>

#include "support/command_output.hpp"

#include "blitz/compat/vectors.hpp"

namespace quenfa::test {
namespace {

class BlitzCompatLive : public ::testing::TestWithParam<const char*> {};

TEST_P(BlitzCompatLive, MatchesLibraryBitForBit) {
  std::string skip;
  const auto& vectors = live_compat_vectors(&skip);
  if (!skip.empty()) QUENFA_REFERENCE_TOOL_MISSING(skip);
  EXPECT_GT(expect_compat_kind(vectors, GetParam()), 0u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, BlitzCompatLive,
                         ::testing::Values("sum_f64", "sum_f32", "log_f32", "digamma", "gammainc",
                                           "gammaincc", "norm_isf", "brentq"));

}  // namespace
}  // namespace quenfa::test
