// The process-wide cache of fitted null models: a repeated analysis of the
// same signature with the same calibration options skips the calibration.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "quenfa/blitz/options.hpp"
#include "quenfa/blitz/signature.hpp"
#include "quenfa/blitz/smoothing.hpp"
#include "quenfa/core/result.hpp"

namespace quenfa::blitz {

struct BlitzModelCacheKey {
  std::array<std::uint8_t, 32> digest{};  // SHA-256 of n and the signature's |scores|
  std::uint64_t n = 0;
  std::uint64_t max_size = 0;
  std::uint64_t permutations = 0;
  std::uint64_t anchors = 0;
  std::uint64_t processes = 0;
  std::uint64_t seed = 0;
  bool symmetric = false;
  bool center = false;

  bool operator==(const BlitzModelCacheKey&) const = default;
};

BlitzModelCacheKey blitz_model_cache_key(const BlitzSignature& signature, std::uint64_t max_size,
                                         const BlitzOptions& options);

struct CachedModel {
  BlitzModel model;
  bool cache_hit = false;
};

// Returns the cached model for the key, or calibrates with `calibrate` (no
// lock held) and inserts the result; an entry inserted meanwhile by another
// call wins. A calibration error is returned and nothing is inserted.
Result<CachedModel> cached_blitz_model(const BlitzModelCacheKey& key,
                                       const std::function<Result<BlitzModel>()>& calibrate);

}  // namespace quenfa::blitz
