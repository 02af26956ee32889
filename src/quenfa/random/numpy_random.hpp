// NumPy's legacy RandomState draws used by the calibration: the MT19937 word
// stream with NumPy's integer seeding, the bounded draw of its permutation
// and its polar-method Gaussian, reproduced bit for bit (checked against
// NumPy 2.4 by the blitz calibration tests).
#pragma once

#include <cstdint>

#include "quenfa/random/r_streams.hpp"

namespace quenfa::random {

// NumPy keeps the same state as the standard MT19937 (624 words and a
// position), seeded by the standard 32-bit initialisation.
using NumpyMt19937 = RMt19937SeedCompat;

// RandomState(seed) for the low 32 bits of seed.
inline NumpyMt19937 numpy_mt19937(std::uint64_t seed) {
  return NumpyMt19937::seed_standard(static_cast<std::uint32_t>(seed));
}

// A value in [0, max] by masked rejection, as RandomState draws the swap
// partner of its permutation: the smallest all-ones mask covering max, words
// drawn until the masked value does not exceed max.
inline std::uint32_t numpy_bounded_masked(NumpyMt19937& gen, std::uint32_t max) {
  std::uint32_t mask = max;
  mask |= mask >> 1;
  mask |= mask >> 2;
  mask |= mask >> 4;
  mask |= mask >> 8;
  mask |= mask >> 16;
  std::uint32_t value;
  do {
    value = gen.next_u32() & mask;
  } while (value > max);
  return value;
}

// RandomState's legacy standard normal: the polar method on 53-bit uniforms,
// handing out the second value of each pair on the next request.
class NumpyLegacyGauss {
 public:
  double next(NumpyMt19937& gen);

 private:
  bool has_held_ = false;
  double held_ = 0.0;
};

// A 53-bit double in [0, 1) from two words, as RandomState.random_sample.
double numpy_random_double(NumpyMt19937& gen);

}  // namespace quenfa::random
