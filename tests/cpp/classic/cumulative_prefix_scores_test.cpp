// The prefix scores bit for bit: against fingerprints recorded from the block
// hull bookkeeping, and against a plain maximum over every slot of the same
// two-level running sums.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "classic/prefix_score_fingerprints.hpp"
#include "quenfa/classic/batch_permutation_counts.hpp"
#include "quenfa/random/r_streams.hpp"

namespace quenfa::classic {
namespace {

TEST(CumulativeStatBits, MatchRecordedFingerprints) {
  std::ifstream in(QUENFA_TEST_DATA_DIR "/prefix_score_fingerprints.txt");
  ASSERT_TRUE(in) << "missing prefix_score_fingerprints.txt";
  std::map<std::string, std::uint64_t> recorded;
  std::string name, hex;
  while (in >> name >> hex) recorded[name] = std::stoull(hex, nullptr, 16);
  const auto fingerprints = testing::prefix_score_fingerprints();
  ASSERT_EQ(fingerprints.size(), recorded.size());
  for (const auto& f : fingerprints) {
    ASSERT_TRUE(recorded.contains(f.name)) << f.name;
    EXPECT_EQ(f.hash, recorded[f.name]) << f.name;
  }
}

// One direction's deviations with the slot maximum taken over every slot:
// the running sums are the same two-level structures (element entry plus
// block entry, L the smallest power of two >= 2 with L^2 > k), so each slot
// value is rounded exactly as in the library.
std::vector<double> all_slots_deviations(const std::vector<double>& w,
                                         const std::vector<std::uint64_t>& sample, double p,
                                         StatDirection direction) {
  const std::size_t n = w.size(), k = sample.size(), slots = k + 1;
  double m0 = 1e-5;
  for (auto pos : sample) {
    const double a = std::fabs(w[pos - 1]);
    if (a != 0.0 && !std::isnan(a)) m0 = std::min(m0, a);
  }
  const double floor = m0 * std::ldexp(1.0, -10);
  std::size_t shift = 1;
  while ((std::size_t{1} << (2 * shift)) <= k) ++shift;
  const std::size_t blocks = (slots + (std::size_t{1} << shift) - 1) >> shift;
  std::vector<std::uint64_t> sorted = sample;
  std::sort(sorted.begin(), sorted.end());
  const bool forward = direction == StatDirection::Forward;
  std::vector<std::int64_t> miss_elem(slots), miss_block(blocks, 0);
  std::vector<double> hit_elem(slots, 0.0), hit_block(blocks, 0.0);
  for (std::size_t t = 0; t < k; ++t) {
    miss_elem[t] = forward ? static_cast<std::int64_t>(sorted[t])
                           : static_cast<std::int64_t>(n + 1 - sorted[k - 1 - t]);
  }
  miss_elem[k] = static_cast<std::int64_t>(n);
  std::vector<double> out(k);
  double ns = 0.0;
  for (std::size_t j = 0; j < k; ++j) {
    const double a = std::fabs(w[sample[j] - 1]);
    const double base = (std::isnan(a) || a < floor) ? floor : a;
    const double q = std::fabs(p - 1.0) < 1e-15 ? base : std::pow(base, p);
    const auto rank = static_cast<std::size_t>(
        std::lower_bound(sorted.begin(), sorted.end(), sample[j]) - sorted.begin());
    const std::size_t t = forward ? rank : k - 1 - rank;
    for (std::size_t u = t; u < std::min(((t >> shift) + 1) << shift, slots); ++u) {
      miss_elem[u] -= 1;
      hit_elem[u] += q;
    }
    for (std::size_t b = (t >> shift) + 1; b < blocks; ++b) {
      miss_block[b] -= 1;
      hit_block[b] += q;
    }
    ns += q;
    const double misses = static_cast<double>(n - (j + 1));
    const double coef = misses / ns;
    double best = -std::numeric_limits<double>::infinity();
    for (std::size_t u = 0; u < slots; ++u) {
      const double v = (hit_elem[u] + hit_block[u >> shift]) * coef -
                       static_cast<double>(miss_elem[u] + miss_block[u >> shift]);
      best = std::max(best, v);
    }
    out[j] = std::max(0.0, best) / misses;
  }
  return out;
}

std::vector<double> all_slots_scores(const std::vector<double>& w,
                                     const std::vector<std::uint64_t>& sample, ScoreType score_type,
                                     double p) {
  const auto fwd = all_slots_deviations(w, sample, p, StatDirection::Forward);
  const auto rev = all_slots_deviations(w, sample, p, StatDirection::Reversed);
  std::vector<double> out(sample.size());
  for (std::size_t j = 0; j < out.size(); ++j) {
    const double a = fwd[j], b = rev[j];
    switch (score_type) {
      case ScoreType::Pos:
        out[j] = a;
        break;
      case ScoreType::Neg:
        out[j] = -b;
        break;
      case ScoreType::Std:
        out[j] = a == b ? 0.0 : (a < b ? -b : a);
        break;
    }
  }
  return out;
}

TEST(CumulativeStatBits, EveryPrefixIsTheLargestSlotValue) {
  // Weights with ties (equal), lattice points (small integers, so many
  // collinear hull points), zeros (the floor weight), and a wide range of
  // magnitudes. The block hulls are built on block-local coordinates, so with
  // weights spanning 20 orders of magnitude the slot they pick may round a
  // few ulps below the largest slot value; those cases are held to 1e-12.
  enum class Kind { Equal, SmallInt, Zeros, Wide };
  struct Case {
    std::size_t n;
    Kind kind;
    double p;
  };
  const Case cases[] = {
      {2, Kind::Equal, 1.0},      {5, Kind::SmallInt, 1.0}, {40, Kind::Equal, 1.0},
      {40, Kind::SmallInt, 1.0},  {90, Kind::Zeros, 1.0},   {120, Kind::Wide, 1.0},
      {257, Kind::SmallInt, 1.0}, {400, Kind::Wide, 1.5},   {1200, Kind::Zeros, 1.0},
  };
  const ScoreType score_types[] = {ScoreType::Std, ScoreType::Pos, ScoreType::Neg};
  for (const Case& c : cases) {
    auto g = random::RMt19937SeedCompat::seed_standard(static_cast<std::uint32_t>(c.n));
    std::vector<double> w(c.n);
    for (double& x : w) {
      switch (c.kind) {
        case Kind::Equal:
          x = 2.5;
          break;
        case Kind::SmallInt:
          x = static_cast<double>(random::uniform_below(g, 4));
          break;
        case Kind::Zeros:
          x = random::uniform_below(g, 3) == 0 ? 0.0 : 0.3 * (1 + random::uniform_below(g, 7));
          break;
        case Kind::Wide:
          x = std::pow(10.0,
                       -12.0 + 20.0 * random::uniform_below(g, 1u << 20) * std::ldexp(1.0, -20));
          break;
      }
    }
    // K from 1 to n - 1, a few draws each.
    const std::size_t step = std::max<std::size_t>(1, c.n / 25);
    for (std::size_t k = 1; k < c.n; k += step) {
      for (int draw = 0; draw < 3; ++draw) {
        const auto sample = random::combination(1, c.n, k, g);
        for (ScoreType st : score_types) {
          const auto got = cumulative_prefix_scores_f64(w, sample, st, c.p);
          const auto want = all_slots_scores(w, sample, st, c.p);
          ASSERT_EQ(got.size(), want.size());
          for (std::size_t j = 0; j < got.size(); ++j) {
            SCOPED_TRACE(::testing::Message() << "n " << c.n << " k " << k << " type "
                                              << static_cast<int>(st) << " m " << j + 1);
            if (c.kind == Kind::Wide) {
              ASSERT_NEAR(got[j], want[j], 1e-12);
            } else {
              ASSERT_EQ(std::bit_cast<std::uint64_t>(got[j]), std::bit_cast<std::uint64_t>(want[j]))
                  << got[j] << " vs " << want[j];
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace quenfa::classic
