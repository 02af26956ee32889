#include "classic/prefix_score_fingerprints.hpp"

#include <bit>
#include <cmath>
#include <sstream>

#include "quenfa/classic/batch_permutation_counts.hpp"
#include "quenfa/random/r_streams.hpp"

namespace quenfa::classic::testing {

namespace {

class Fnv1a {
 public:
  void add(std::uint64_t x) {
    for (int i = 0; i < 8; ++i) {
      hash_ ^= (x >> (8 * i)) & 0xFFu;
      hash_ *= 0x100000001B3ull;
    }
  }
  void add(double x) { add(std::bit_cast<std::uint64_t>(x)); }
  std::uint64_t value() const { return hash_; }

 private:
  std::uint64_t hash_ = 0xCBF29CE484222325ull;
};

enum class Weights { Integer, Real, WithZeros, Equal, WideRange, Huge };
constexpr const char* kWeightNames[] = {"integer", "real", "zeros", "equal", "wide", "huge"};

double unit(random::RMt19937SeedCompat& g) {
  return random::uniform_below(g, 1u << 30) * std::ldexp(1.0, -30);
}

// Weights as the driver and the host pass them: integers, reals, zeros (which
// weigh a tiny floor), ties, magnitudes from 1e-9 to 1e6, and values so large
// that adding the floor does not change a sum.
std::vector<double> make_weights(std::size_t n, Weights kind, std::uint32_t seed) {
  auto g = random::RMt19937SeedCompat::seed_standard(seed);
  std::vector<double> w(n);
  for (double& x : w) {
    switch (kind) {
      case Weights::Integer:
        x = 1 + random::uniform_below(g, 1000000);
        break;
      case Weights::Real:
        x = (random::uniform_below(g, 2) == 0 ? -1.0 : 1.0) * (0.1 + 3.0 * unit(g));
        break;
      case Weights::WithZeros:
        x = random::uniform_below(g, 4) == 0 ? 0.0 : 0.1 + unit(g);
        break;
      case Weights::Equal:
        x = 1.0;
        break;
      case Weights::WideRange:
        x = std::pow(10.0, -9.0 + 15.0 * unit(g));
        break;
      case Weights::Huge:
        x = random::uniform_below(g, 3) == 0 ? 0.0 : 1e9 + random::uniform_below(g, 1000);
        break;
    }
  }
  return w;
}

constexpr ScoreType kScoreTypes[] = {ScoreType::Std, ScoreType::Pos, ScoreType::Neg};

void add_prefix_scores(std::vector<Fingerprint>& out) {
  struct Case {
    std::size_t n;
    std::vector<std::size_t> ks;
    double p;
  };
  const Case cases[] = {
      {2, {1}, 1.0},
      {3, {1, 2}, 1.0},
      {10, {1, 3, 9}, 1.0},
      {64, {2, 15, 16, 17, 63}, 1.0},
      {300, {1, 48, 49, 255, 256, 299}, 1.0},
      {300, {100}, 2.0},
      {2000, {500, 1023, 1024, 1999}, 1.0},
  };
  for (int kind = 0; kind < 6; ++kind) {
    for (const Case& c : cases) {
      const auto w = make_weights(c.n, static_cast<Weights>(kind), 11 + kind);
      for (std::size_t k : c.ks) {
        for (int st = 0; st < 3; ++st) {
          Fnv1a h;
          for (std::uint32_t seed = 1; seed <= 6; ++seed) {
            auto g = random::RMt19937SeedCompat::seed_standard(seed * 7919 + k);
            const auto sample = random::combination(1, c.n, k, g);
            for (double v : cumulative_prefix_scores_f64(w, sample, kScoreTypes[st], c.p)) h.add(v);
          }
          std::ostringstream name;
          name << "prefix/" << kWeightNames[kind] << "/n" << c.n << "/k" << k << "/p" << c.p
               << "/type" << st;
          out.push_back({name.str(), h.value()});
        }
      }
    }
  }
}

void add_chunk_counters(std::vector<Fingerprint>& out) {
  struct Case {
    std::size_t n, pathways, max_size;
    Weights weights;
    int score_type;
    std::uint64_t permutations;
  };
  const Case cases[] = {
      {500, 150, 40, Weights::Integer, 0, 1000}, {300, 130, 120, Weights::WithZeros, 1, 300},
      {200, 140, 199, Weights::Real, 2, 200},    {100, 128, 10, Weights::Equal, 0, 500},
      {1000, 200, 300, Weights::Huge, 0, 100},
  };
  for (const Case& c : cases) {
    const auto w = make_weights(c.n, c.weights, 5);
    auto g = random::RMt19937SeedCompat::seed_standard(77);
    std::vector<std::size_t> sizes;
    std::vector<double> es;
    for (std::size_t d = 0; d < c.pathways; ++d) {
      sizes.push_back(d == 0
                          ? c.max_size
                          : 1 + random::uniform_below(g, static_cast<std::uint32_t>(c.max_size)));
      es.push_back(-0.8 + 1.6 * random::uniform_below(g, 1000) / 1000.0);
    }
    const BatchInputs in{w, sizes, es, kScoreTypes[c.score_type]};
    for (bool parallel : {false, true}) {
      const BatchCounts counts = parallel
                                     ? batch_permutation_counts_f64_thread_invariant_parallel(
                                           in, c.permutations, 987654321)
                                     : batch_permutation_counts_f64(in, c.permutations, 987654321);
      Fnv1a h;
      for (std::size_t d = 0; d < c.pathways; ++d) {
        h.add(counts.le[d]);
        h.add(counts.ge[d]);
        h.add(counts.le_zero[d]);
        h.add(counts.ge_zero[d]);
        h.add(counts.le_zero_sum[d]);
        h.add(counts.ge_zero_sum[d]);
      }
      std::ostringstream name;
      name << "chunk/n" << c.n << "/K" << c.max_size << "/type" << c.score_type
           << (parallel ? "/exact-parallel" : "/sequential");
      out.push_back({name.str(), h.value()});
    }
  }
}

}  // namespace

std::vector<Fingerprint> prefix_score_fingerprints() {
  std::vector<Fingerprint> out;
  add_prefix_scores(out);
  add_chunk_counters(out);
  return out;
}

}  // namespace quenfa::classic::testing
