#include "quenfa/random/r_streams.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <numeric>
#include <string>
#include <utility>

#include <sys/random.h>

#include "quenfa/core/internal_fault.hpp"

namespace quenfa::random {

namespace {

// Seeding LCG of R's set.seed: x <- 69069 x + 1 (mod 2^32).
constexpr std::uint32_t kLcgMultiplier = 69069u;
constexpr int kLcgWarmUp = 50;

std::uint32_t lcg_step(std::uint32_t x) {
  return kLcgMultiplier * x + 1u;
}

std::uint32_t lcg_warm_up(std::uint32_t x) {
  for (int j = 0; j < kLcgWarmUp; ++j) x = lcg_step(x);
  return x;
}

constexpr std::size_t kMtN = RMt19937SeedCompat::kStateWords;
constexpr std::size_t kMtM = 397;
constexpr std::uint32_t kMtMatrix = 0x9908B0DFu;
constexpr std::uint32_t kMtUpper = 0x80000000u;
constexpr std::uint32_t kMtLower = 0x7FFFFFFFu;

std::uint32_t mt_mix(std::uint32_t cur, std::uint32_t next, std::uint32_t far) {
  const std::uint32_t y = (cur & kMtUpper) | (next & kMtLower);
  return far ^ (y >> 1) ^ ((y & 1u) ? kMtMatrix : 0u);
}

// The MT19937 recurrence over all 624 words, k = 0..623 in order; split at the
// two wrap points of (k + 1) mod 624 and (k + 397) mod 624.
void mt_regenerate(std::array<std::uint32_t, kMtN>& mt) {
  std::size_t k = 0;
  for (; k < kMtN - kMtM; ++k) mt[k] = mt_mix(mt[k], mt[k + 1], mt[k + kMtM]);
  for (; k < kMtN - 1; ++k) mt[k] = mt_mix(mt[k], mt[k + 1], mt[k + kMtM - kMtN]);
  mt[kMtN - 1] = mt_mix(mt[kMtN - 1], mt[0], mt[kMtM - 1]);
}

// R's fix-up keeps unif_rand() inside (0, 1): 0.5 * 2.328306437080797e-10 and
// 1 minus it.
constexpr double kRFixupLow = 1.1641532185403984e-10;
constexpr double kRFixupHigh = 0.9999999998835847;
constexpr double kTwoPowMinus32 = 2.3283064365386963e-10;

constexpr std::int64_t kM1 = 4294967087;
constexpr std::int64_t kM2 = 4294944443;
constexpr std::int64_t kA12 = 1403580;
constexpr std::int64_t kA13n = 810728;
constexpr std::int64_t kA21 = 527612;
constexpr std::int64_t kA23n = 1370589;
constexpr double kLecuyerNorm = 2.328306549295727688e-10;  // nearest double to 1/(m1 + 1)

// One component step: p = a * s[hi] - b * s[lo] reduced into [0, m) with a
// truncating division, as R does; the words then shift down by one.
std::int64_t lecuyer_component(std::uint32_t* w, std::int64_t a, std::size_t hi, std::int64_t b,
                               std::int64_t m) {
  std::int64_t p = a * static_cast<std::int64_t>(w[hi]) - b * static_cast<std::int64_t>(w[0]);
  p -= (p / m) * m;
  if (p < 0) p += m;
  w[0] = w[1];
  w[1] = w[2];
  w[2] = static_cast<std::uint32_t>(p);
  return p;
}

// R's R_unif_index for sample.kind = "Rejection": draws ceil(log2(n)) random
// bits in 16-bit chunks, floor(u * 65536) per uniform, until the masked value
// falls below n. The bit count of a 64-bit n is at most 64, so the int
// conversion cannot saturate.
template <class Generator>
std::uint64_t r_unif_index(Generator& g, std::uint64_t n) {
  if (n == 0) return 0;
  const int bits = static_cast<int>(std::ceil(std::log2(static_cast<double>(n))));
  const std::uint64_t mask = bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
  for (;;) {
    std::uint64_t v = 0;
    for (int pos = 0; pos <= bits; pos += 16) {
      v = v * 65536u + static_cast<std::uint64_t>(std::floor(g.r_unif_rand() * 65536.0));
    }
    const std::uint64_t r = v & mask;
    if (r < n) return r;
  }
}

}  // namespace

RMt19937SeedCompat RMt19937SeedCompat::r_set_seed(std::uint32_t seed) {
  // 50 warm-up steps, then 625 recorded steps; R keeps its position index in
  // the first recorded slot, so that value is dropped.
  std::uint32_t x = lcg_step(lcg_warm_up(seed));
  RMt19937SeedCompat g;
  for (std::uint32_t& word : g.mt) {
    x = lcg_step(x);
    word = x;
  }
  g.mti = kMtN;
  return g;
}

RMt19937SeedCompat RMt19937SeedCompat::seed_standard(std::uint32_t seed) {
  RMt19937SeedCompat g;
  g.mt[0] = seed;
  for (std::size_t i = 1; i < kMtN; ++i) {
    const std::uint32_t prev = g.mt[i - 1];
    g.mt[i] = 1812433253u * (prev ^ (prev >> 30)) + static_cast<std::uint32_t>(i);
  }
  g.mti = kMtN;
  return g;
}

std::uint32_t RMt19937SeedCompat::next_u32() {
  if (mti >= kMtN) {
    mt_regenerate(mt);
    mti = 0;
  }
  std::uint32_t y = mt[mti++];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

double RMt19937SeedCompat::r_unif_rand() {
  const double u = static_cast<double>(next_u32()) * kTwoPowMinus32;  // exact
  if (u <= 0.0) return kRFixupLow;
  if (u >= 1.0) return kRFixupHigh;
  return u;
}

std::uint64_t RMt19937SeedCompat::r_unif_index_with_kind(std::uint64_t n) {
  return r_unif_index(*this, n);
}

RLecuyerCmrgSeedCompat RLecuyerCmrgSeedCompat::r_set_seed(std::uint32_t seed) {
  // Each word is the next LCG value below m2 (R checks m2 for all six).
  std::uint32_t x = lcg_warm_up(seed);
  RLecuyerCmrgSeedCompat g;
  for (std::uint32_t& word : g.s) {
    x = lcg_step(x);
    while (x >= kM2) x = lcg_step(x);
    word = x;
  }
  return g;
}

double RLecuyerCmrgSeedCompat::r_unif_rand() {
  const std::int64_t p1 = lecuyer_component(&s[0], kA12, 1, kA13n, kM1);
  const std::int64_t p2 = lecuyer_component(&s[3], kA21, 2, kA23n, kM2);
  return static_cast<double>(p1 > p2 ? p1 - p2 : p1 - p2 + kM1) * kLecuyerNorm;
}

std::vector<std::uint64_t> RLecuyerCmrgSeedCompat::sample_int_no_replace_with_kind(
    std::uint64_t n, std::uint64_t k) {
  if (k > n) {
    internal_fault("sample_int_no_replace: size (" + std::to_string(k) + ") must be <= n (" +
                   std::to_string(n) + ")");
  }
  std::vector<std::uint64_t> out;
  if (k == 0) return out;
  out.reserve(k);
  // R fills a pool 1..n for every call. This thread's pool holds 1..n between
  // calls and only the k entries a draw overwrites are put back afterwards,
  // so each call costs O(k) instead of O(n) and draws the same values.
  thread_local std::vector<std::uint64_t> pool;
  thread_local std::vector<std::uint64_t> overwritten;
  if (pool.size() < n) {
    const std::size_t old_size = pool.size();
    pool.resize(n);
    std::iota(pool.begin() + static_cast<std::ptrdiff_t>(old_size), pool.end(),
              std::uint64_t{old_size} + 1);
  }
  overwritten.clear();
  for (std::uint64_t m = n; out.size() < k; --m) {
    const std::uint64_t j = r_unif_index(*this, m);
    out.push_back(pool[j]);
    pool[j] = pool[m - 1];
    overwritten.push_back(j);
  }
  for (std::uint64_t j : overwritten) pool[j] = j + 1;
  return out;
}

void CombinationMarks::start_generation(std::size_t n) {
  const std::size_t length = std::max(n, kMinLength);
  if (marks.size() < length) marks.resize(length, 0);
  if (++stamp == 0) {
    std::fill(marks.begin(), marks.end(), 0);
    stamp = 1;
  }
}

CombinationMarks& CombinationMarks::for_this_thread() {
  thread_local CombinationMarks marks;
  return marks;
}

std::uint32_t uniform_below(RMt19937SeedCompat& g, std::uint32_t h) {
  QUENFA_ENSURE(h != 0, "uniform_below: bound must be at least 1");
  // The threshold is taken from 2^32 - 1, so a power-of-two bound still
  // rejects its top h outputs.
  const std::uint32_t threshold = 0xFFFFFFFFu - 0xFFFFFFFFu % h;
  std::uint32_t y;
  do {
    y = g.next_u32();
  } while (y >= threshold);
  return y % h;
}

void combination(std::uint64_t a, std::uint64_t b, std::uint64_t k, RMt19937SeedCompat& g,
                 std::vector<std::uint64_t>& out) {
  out.clear();
  if (k == 0) return;
  QUENFA_ENSURE(b >= a && b - a < 0xFFFFFFFFu,
                "combination: the range must hold 1 to 2^32 - 1 values");
  const std::uint64_t n = b - a + 1;
  if (k > n) {
    internal_fault("combination: k (" + std::to_string(k) + ") must be <= n (" + std::to_string(n) +
                   ")");
  }
  CombinationMarks& marks = CombinationMarks::for_this_thread();
  marks.start_generation(n);
  out.reserve(k);
  if (static_cast<double>(n) * 0.5 > static_cast<double>(k)) {
    // Rejection: redraw offsets already taken; result in draw order.
    while (out.size() < k) {
      const std::uint32_t x = uniform_below(g, static_cast<std::uint32_t>(n));
      if (marks.taken(x)) continue;
      marks.mark(x);
      out.push_back(a + x);
    }
    return;
  }
  // Floyd's method: exactly k draws, then a Fisher-Yates shuffle of k - 1 draws.
  for (std::uint64_t r = n - k; r < n; ++r) {
    const std::uint32_t x = uniform_below(g, static_cast<std::uint32_t>(r + 1));
    const std::uint64_t pick = marks.taken(x) ? r : x;
    marks.mark(pick);
    out.push_back(a + pick);
  }
  for (std::uint64_t h = k; h >= 2; --h) {
    const std::uint32_t j = uniform_below(g, static_cast<std::uint32_t>(h));
    std::swap(out[h - 1], out[j]);
  }
}

std::vector<std::uint64_t> combination(std::uint64_t a, std::uint64_t b, std::uint64_t k,
                                       RMt19937SeedCompat& g) {
  std::vector<std::uint64_t> out;
  combination(a, b, k, g, out);
  return out;
}

std::uint64_t resolve_rng_seed(std::optional<std::uint64_t> seed) {
  if (seed) return *seed;
  // getrandom(2) reads the kernel's cryptographically strong generator, which
  // is seeded from the operating system's entropy pool.
  std::uint64_t value = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(&value);
  std::size_t got = 0;
  while (got < sizeof value) {
    const ssize_t r = getrandom(bytes + got, sizeof value - got, 0);
    if (r < 0) {
      QUENFA_ENSURE(errno == EINTR, "resolve_rng_seed: the entropy source failed");
      continue;
    }
    got += static_cast<std::size_t>(r);
  }
  return value;
}

}  // namespace quenfa::random
