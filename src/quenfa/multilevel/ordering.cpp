#include "quenfa/multilevel/ordering.hpp"

#include <cmath>

namespace quenfa::multilevel {

namespace {

using i128 = __int128;

// (Dx*hx + (my - mx)*Sx)*Sy - (Dx*Sx)*hy: negative iff x scores lower than y
// (for Dx = Dy). The two inner products usually fit 64 bits (checked); the
// outer ones are then single widening multiplies. On any overflow the inner
// terms are formed again in 128 bits, so both ways give the same value.
i128 cross(const Gsea& x, const Gsea& y) {
  const std::int64_t dm = y.peak_misses - x.peak_misses;
  std::int64_t dh, ms, inner, ds;
  if (!__builtin_mul_overflow(x.miss_count, x.peak_hit_sum, &dh) &&
      !__builtin_mul_overflow(dm, x.weight_sum, &ms) && !__builtin_add_overflow(dh, ms, &inner) &&
      !__builtin_mul_overflow(x.miss_count, x.weight_sum, &ds)) {
    return static_cast<i128>(inner) * y.weight_sum - static_cast<i128>(ds) * y.peak_hit_sum;
  }
  const i128 inner128 =
      static_cast<i128>(x.miss_count) * x.peak_hit_sum + static_cast<i128>(dm) * x.weight_sum;
  const i128 ds128 = static_cast<i128>(x.miss_count) * x.weight_sum;
  return inner128 * y.weight_sum - ds128 * y.peak_hit_sum;
}

}  // namespace

bool Gsea::lt_cpp(const Gsea& y) const {
  if (cross(*this, y) < 0) return true;
  if (cross(y, *this) < 0) return false;
  return key < y.key;
}

std::int64_t scale_target(double t) {
  constexpr std::int64_t kLimit = (std::int64_t{1} << 30) + 1;
  const double v = t * 1073741824.0;
  if (std::isnan(v)) return 0;
  if (v >= static_cast<double>(kLimit)) return kLimit;
  if (v <= -static_cast<double>(kLimit)) return -kLimit;
  return static_cast<std::int64_t>(v);
}

bool reaches_target(const Gsea& x, std::int64_t scaled_target) {
  const i128 d = x.miss_count;
  const i128 s = x.weight_sum;
  const i128 lhs = (x.peak_hit_sum * d - x.peak_misses * s) * (i128{1} << 30);
  return lhs - s * d * scaled_target >= 0;
}

}  // namespace quenfa::multilevel
