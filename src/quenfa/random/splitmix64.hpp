// SplitMix64: the golden-ratio increment of its state and its output mixer
// (two xor-shift-multiply rounds and a final xor-shift), used to turn seeds
// and task numbers into well-spread stream seeds.
#pragma once

#include <cstdint>

namespace quenfa::random {

inline constexpr std::uint64_t kSplitMix64Increment = 0x9E3779B97F4A7C15ull;

// The output function of SplitMix64 applied to x.
constexpr std::uint64_t splitmix64_mix(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  return x;
}

}  // namespace quenfa::random
