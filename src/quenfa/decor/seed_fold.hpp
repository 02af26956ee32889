// 32-bit stream seeds of the decor run, one per pathway size and one per
// refined pathway: the run's 64-bit seed XOR a salted key, mixed by the
// SplitMix64 finaliser and folded to 32 bits, so that every bit of the seed
// reaches every stream and neighbouring keys give unrelated streams.
#pragma once

#include <cstdint>

#include "quenfa/random/splitmix64.hpp"

namespace quenfa::decor {

inline constexpr std::uint64_t kSizeGroupSalt = random::kSplitMix64Increment;
inline constexpr std::uint64_t kRefinementSalt = kSizeGroupSalt + 1000003;

// SplitMix64 finaliser of x, high half XOR low half; never 0 (0 becomes 1).
constexpr std::uint32_t fold_seed32(std::uint64_t x) {
  x = random::splitmix64_mix(x);
  const auto folded = static_cast<std::uint32_t>((x >> 32) ^ (x & 0xFFFFFFFFull));
  return folded == 0 ? 1 : folded;
}

// Seed of the null stream of the pathways of size k.
constexpr std::uint32_t size_group_seed32(std::uint64_t k, std::uint64_t seed) {
  return fold_seed32((k + kSizeGroupSalt) ^ seed);
}

// Seed of the tail estimation of the pathway with kept index i.
constexpr std::uint32_t refinement_seed32(std::uint64_t i, std::uint64_t seed) {
  return fold_seed32((i + kRefinementSalt) ^ seed);
}

}  // namespace quenfa::decor
