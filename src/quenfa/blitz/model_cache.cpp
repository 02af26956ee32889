#include "quenfa/blitz/model_cache.hpp"

#include <openssl/evp.h>

#include <bit>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include "quenfa/core/internal_fault.hpp"

namespace quenfa::blitz {

namespace {

void append_le64(std::vector<std::uint8_t>& bytes, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::array<std::uint8_t, 32> sha256(const std::vector<std::uint8_t>& bytes) {
  std::array<std::uint8_t, 32> out{};
  unsigned int length = 0;
  QUENFA_ENSURE(
      EVP_Digest(bytes.data(), bytes.size(), out.data(), &length, EVP_sha256(), nullptr) == 1 &&
          length == out.size(),
      "SHA-256 digest failed");
  return out;
}

struct KeyHash {
  std::size_t operator()(const BlitzModelCacheKey& key) const {
    std::size_t h;
    std::memcpy(&h, key.digest.data(), sizeof h);  // the digest is already uniform
    return h ^ (key.max_size * 0x9E3779B97F4A7C15ull) ^ (key.processes << 17) ^ key.seed;
  }
};

struct ModelCache {
  std::shared_mutex lock;
  std::unordered_map<BlitzModelCacheKey, BlitzModel, KeyHash> models;
};

ModelCache& blitz_model_cache() {
  static ModelCache* cache = new ModelCache();  // lives to the end of the process
  return *cache;
}

}  // namespace

BlitzModelCacheKey blitz_model_cache_key(const BlitzSignature& signature, std::uint64_t max_size,
                                         const BlitzOptions& options) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(8 * (signature.abs_scores.size() + 1));
  append_le64(bytes, signature.abs_scores.size());
  for (double v : signature.abs_scores) append_le64(bytes, std::bit_cast<std::uint64_t>(v));
  BlitzModelCacheKey key;
  key.digest = sha256(bytes);
  key.n = signature.abs_scores.size();
  key.max_size = std::max<std::uint64_t>(1, max_size);
  key.permutations = options.permutations;
  key.anchors = options.anchors;
  key.processes = options.processes;
  key.seed = options.seed;
  key.symmetric = options.symmetric;
  key.center = options.center;
  return key;
}

Result<CachedModel> cached_blitz_model(const BlitzModelCacheKey& key,
                                       const std::function<Result<BlitzModel>()>& calibrate) {
  ModelCache& cache = blitz_model_cache();
  {
    std::shared_lock read(cache.lock);
    if (auto it = cache.models.find(key); it != cache.models.end()) {
      return CachedModel{it->second, true};
    }
  }
  auto fresh = calibrate();
  if (!fresh) return Error{fresh.error()};
  std::unique_lock write(cache.lock);
  auto [it, inserted] = cache.models.try_emplace(key, std::move(fresh).value());
  return CachedModel{it->second, !inserted};
}

}  // namespace quenfa::blitz
