#include "quenfa/blitz/compat/numpy_pairwise_sum.hpp"

#include <cstddef>

namespace quenfa::blitz::compat {
namespace {

// Below this length the blocks are summed directly (NumPy's PW_BLOCKSIZE).
constexpr std::size_t kBlockSize = 128;
constexpr std::size_t kLanes = 8;

template <class T>
T pairwise_sum(const T* a, std::size_t n) {
  if (n == 0) return T(-0.0);
  if (n < kLanes) {
    T res = a[0];
    for (std::size_t i = 1; i < n; ++i) res += a[i];
    return res;
  }
  if (n <= kBlockSize) {
    T r[kLanes];
    for (std::size_t k = 0; k < kLanes; ++k) r[k] = a[k];
    const std::size_t whole = n - n % kLanes;
    std::size_t i = kLanes;
    for (; i < whole; i += kLanes) {
      for (std::size_t k = 0; k < kLanes; ++k) r[k] += a[i + k];
    }
    T res = ((r[0] + r[1]) + (r[2] + r[3])) + ((r[4] + r[5]) + (r[6] + r[7]));
    for (; i < n; ++i) res += a[i];
    return res;
  }
  const std::size_t half = (n >> 1) & ~(kLanes - 1);
  return pairwise_sum(a, half) + pairwise_sum(a + half, n - half);
}

}  // namespace

double numpy_pairwise_sum_f64(std::span<const double> a) {
  return pairwise_sum(a.data(), a.size());
}

float numpy_pairwise_sum_f32(std::span<const float> a) {
  return pairwise_sum(a.data(), a.size());
}

}  // namespace quenfa::blitz::compat
