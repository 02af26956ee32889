#include "quenfa/random/numpy_random.hpp"

#include <cmath>

namespace quenfa::random {

double numpy_random_double(NumpyMt19937& gen) {
  const std::uint32_t a = gen.next_u32() >> 5;
  const std::uint32_t b = gen.next_u32() >> 6;
  return (a * 67108864.0 + b) / 9007199254740992.0;
}

double NumpyLegacyGauss::next(NumpyMt19937& gen) {
  if (has_held_) {
    has_held_ = false;
    return held_;
  }
  double x1, x2, r2;
  do {
    x1 = 2.0 * numpy_random_double(gen) - 1.0;
    x2 = 2.0 * numpy_random_double(gen) - 1.0;
    r2 = x1 * x1 + x2 * x2;
  } while (r2 >= 1.0 || r2 == 0.0);
  // Operation order of the reference: r2 = x2*x2 + x1*x1 is the same sum
  // (addition commutes exactly); f = sqrt(-2 log(r2) / r2).
  const double f = std::sqrt(-2.0 * std::log(r2) / r2);
  held_ = f * x1;
  has_held_ = true;
  return f * x2;
}

}  // namespace quenfa::random
