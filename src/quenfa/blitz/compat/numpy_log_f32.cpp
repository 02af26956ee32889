#include "quenfa/blitz/compat/numpy_log_f32.hpp"

#include <bit>
#include <cmath>
#include <cstdint>

namespace quenfa::blitz::compat {
namespace {

constexpr float from_bits(std::uint32_t b) {
  return std::bit_cast<float>(b);
}

// Numerator and denominator coefficients, lowest power last in the
// evaluation below (NumPy's log_p0..p5 and log_q0..q5).
constexpr float kP5 = from_bits(0x3cd42bcd);
constexpr float kP4 = from_bits(0x3ec30333);
constexpr float kP3 = from_bits(0x3fbd70a9);
constexpr float kP2 = from_bits(0x4007361c);
constexpr float kP1 = from_bits(0x3f800000);
constexpr float kP0 = from_bits(0x00000000);
constexpr float kQ5 = from_bits(0x3bc083df);
constexpr float kQ4 = from_bits(0x3e1e5bf3);
constexpr float kQ3 = from_bits(0x3f7c8ae4);
constexpr float kQ2 = from_bits(0x401cfe0d);
constexpr float kQ1 = from_bits(0x4027361c);
constexpr float kQ0 = from_bits(0x3f800000);
constexpr float kLn2 = from_bits(0x3f317218);
// sqrt(1/2) rounded to float: mantissas at or below it are doubled.
constexpr float kSqrtHalf = from_bits(0x3f3504f3);

constexpr std::uint32_t kQuietNan = 0x7fc00000;
constexpr std::uint32_t kNegativeQuietNan = 0xffc00000;
constexpr float kSmallestNormal = from_bits(0x00800000);

// Horner's rule with one rounding per step (fmaf), as the vector code does.
float horner_fma(float t, float c5, float c4, float c3, float c2, float c1, float c0) {
  float r = std::fmaf(t, c5, c4);
  r = std::fmaf(r, t, c3);
  r = std::fmaf(r, t, c2);
  r = std::fmaf(r, t, c1);
  return std::fmaf(r, t, c0);
}

}  // namespace

float numpy_log_f32(float x) {
  if (std::isnan(x)) return from_bits(kQuietNan);
  if (x == 0.0f) return -INFINITY;
  if (x < 0.0f) return from_bits(kNegativeQuietNan);
  if (std::isinf(x)) return x;
  if (x < kSmallestNormal) return std::log(x);  // the C library's logf

  const std::uint32_t b = std::bit_cast<std::uint32_t>(x);
  // x = m 2^e with m in [0.5, 1).
  const float m = from_bits((b & 0x007fffffu) | 0x3f000000u);
  std::int32_t e = static_cast<std::int32_t>(b >> 23) - 126;
  float t = 0.0f;
  if (m <= kSqrtHalf) {
    t = (m + m) - 1.0f;
    e -= 1;
  } else {
    t = m - 1.0f;
  }
  const float num = horner_fma(t, kP5, kP4, kP3, kP2, kP1, kP0);
  const float den = horner_fma(t, kQ5, kQ4, kQ3, kQ2, kQ1, kQ0);
  return std::fmaf(static_cast<float>(e), kLn2, num / den);
}

}  // namespace quenfa::blitz::compat
