// NumPy's float32 logarithm: special values, the subnormal rule and the
// reference vectors.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "blitz/compat/vectors.hpp"
#include "quenfa/blitz/compat/numpy_log_f32.hpp"

namespace quenfa::test {
namespace {

using quenfa::blitz::compat::numpy_log_f32;

std::uint32_t bits(float v) {
  return std::bit_cast<std::uint32_t>(v);
}

TEST(NumpyLogF32, SpecialValues) {
  struct Case {
    float x;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {1.0f, 0x00000000},                                // log 1 = +0
      {0.0f, 0xff800000},                                // -inf
      {-0.0f, 0xff800000},                               // -inf
      {INFINITY, 0x7f800000},                            // +inf
      {-1.0f, 0xffc00000},                               // NaN with the sign bit
      {-INFINITY, 0xffc00000},                           // NaN with the sign bit
      {std::bit_cast<float>(0x7fc12345u), 0x7fc00000},   // payload dropped
      {std::bit_cast<float>(0xffc00001u), 0x7fc00000},   // sign dropped
      {2.0f, std::bit_cast<std::uint32_t>(0.6931472f)},  // e ln2 exactly
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bits(numpy_log_f32(c.x)), c.expected) << std::hex << bits(c.x);
  }
}

// Subnormals go to the C library's logf. NumPy's AVX512F loop normalises them
// and uses its polynomial instead, which gives 0xc2b0d687 on this input.
TEST(NumpyLogF32, SubnormalUsesTheCLibrary) {
  const float x = std::bit_cast<float>(0x002b5ca3u);
  EXPECT_EQ(bits(numpy_log_f32(x)), bits(logf(x)));
  EXPECT_EQ(bits(numpy_log_f32(x)), 0xc2b0d686u);
  const float smallest = std::bit_cast<float>(0x00000001u);
  EXPECT_EQ(bits(numpy_log_f32(smallest)), bits(logf(smallest)));
}

// The mantissa is doubled at or below sqrt(1/2) (0x3f3504f3): just above and
// at the threshold the two reductions give values of opposite sign.
TEST(NumpyLogF32, MantissaThresholdAtSqrtHalf) {
  EXPECT_LT(numpy_log_f32(std::bit_cast<float>(0x3f3504f3u)), 0.0f);
  EXPECT_LT(numpy_log_f32(std::bit_cast<float>(0x3f3504f4u)), 0.0f);
  EXPECT_NEAR(numpy_log_f32(std::bit_cast<float>(0x3f3504f3u)), -0.34657359f, 1e-7f);
}

TEST(NumpyLogF32, MatchesNumpyVectors) {
  EXPECT_GT(expect_compat_kind(committed_compat_vectors(), "log_f32"), 500u);
}

}  // namespace
}  // namespace quenfa::test
