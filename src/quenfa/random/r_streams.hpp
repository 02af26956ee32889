// Random streams of the classic engine and the decor method. They reproduce,
// draw for draw, R's Mersenne-Twister and L'Ecuyer-CMRG generators (R's
// set.seed seeding, R's uniform conversion, R's rejection index draw and
// sampling without replacement) and the standard MT19937 seeded by a 32-bit
// value (the raw word stream of numpy.random.RandomState(seed)). Checked
// against R 4.2.2 and NumPy 2.4 by tests/cpp/random/r_streams_test.cpp.
//
// A generator is a plain value owned by one task; its output depends only on
// its seed and on the exact sequence of calls made on it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quenfa::random {

// MT19937 state, seeded either the way R's set.seed seeds its default kind or
// by the standard 32-bit initialisation.
struct RMt19937SeedCompat {
  static constexpr std::size_t kStateWords = 624;

  std::array<std::uint32_t, kStateWords> mt{};
  std::size_t mti = kStateWords;  // next word to temper; 624 regenerates first

  // R's set.seed(seed, kind = "Mersenne-Twister").
  static RMt19937SeedCompat r_set_seed(std::uint32_t seed);
  // The standard MT19937 initialisation by a 32-bit seed.
  static RMt19937SeedCompat seed_standard(std::uint32_t seed);

  // Next tempered 32-bit output.
  std::uint32_t next_u32();
  // R's unif_rand() on this stream: a value in (0, 1).
  double r_unif_rand();
  // R's rejection-sampling index draw (sample.kind = "Rejection"): a value in
  // [0, n); n = 0 returns 0 and consumes nothing.
  std::uint64_t r_unif_index_with_kind(std::uint64_t n);
};

// R's L'Ecuyer-CMRG generator: words s[0..2] belong to the first component
// (modulus m1), s[3..5] to the second (modulus m2).
struct RLecuyerCmrgSeedCompat {
  std::array<std::uint32_t, 6> s{};

  // R's set.seed(seed) under RNGkind("L'Ecuyer-CMRG").
  static RLecuyerCmrgSeedCompat r_set_seed(std::uint32_t seed);

  // R's unif_rand() on this stream: a value in (0, 1).
  double r_unif_rand();
  // R's sample.int(n, k) without replacement (n <= 1e7 or k > n/2, where R
  // does not switch to its hashing sampler): k one-based values in draw order.
  // k > n is an internal fault.
  std::vector<std::uint64_t> sample_int_no_replace_with_kind(std::uint64_t n, std::uint64_t k);
};

// Membership marks of one sampling call: an offset is taken iff its mark
// equals the current stamp, so starting a new call is an increment instead of
// a clear. The table is zeroed only when the stamp wraps around.
struct CombinationMarks {
  static constexpr std::size_t kMinLength = 10000;

  std::vector<std::uint32_t> marks;
  std::uint32_t stamp = 0;

  // Starts a generation covering offsets [0, n).
  void start_generation(std::size_t n);
  bool taken(std::size_t x) const { return marks[x] == stamp; }
  void mark(std::size_t x) { marks[x] = stamp; }

  // The table `combination` uses on the calling thread; it lives as long as
  // the thread.
  static CombinationMarks& for_this_thread();
};

// A value in [0, h) from raw outputs of g by modulo rejection; h = 0 is an
// internal fault.
std::uint32_t uniform_below(RMt19937SeedCompat& g, std::uint32_t h);

// k distinct integers of [a, b] drawn with g (b - a + 1 < 2^32, k <= b - a + 1;
// anything else is an internal fault). The result is written to `out`, whose
// capacity is reused; the vector-returning form allocates a new one.
void combination(std::uint64_t a, std::uint64_t b, std::uint64_t k, RMt19937SeedCompat& g,
                 std::vector<std::uint64_t>& out);
std::vector<std::uint64_t> combination(std::uint64_t a, std::uint64_t b, std::uint64_t k,
                                       RMt19937SeedCompat& g);

// The given seed, or a fresh random 64-bit value from the operating system's
// cryptographically strong generator.
std::uint64_t resolve_rng_seed(std::optional<std::uint64_t> seed);

}  // namespace quenfa::random
