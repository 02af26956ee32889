#include "quenfa/classic/batch_permutation_counts.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <vector>

#include "quenfa/random/r_streams.hpp"
#include "quenfa/runtime/worker_pool.hpp"

namespace quenfa::classic {
namespace {

using Sample = std::vector<std::uint64_t>;

// Deviations of the first m drawn positions by a plain walk down the ranked
// list: members raise the running sum by q/NS, other genes lower it by
// 1/(n - m). q is the weight the batch statistics give a gene: |w| raised to
// p, with zero (or NaN) weights replaced by 2^-10 x min(1e-5, smallest
// non-zero |w| of the whole sample).
struct Deviations {
  double top = 0.0;     // highest running sum just after a member, at least 0
  double bottom = 0.0;  // depth of the lowest running sum just before a member, at least 0
};

Deviations plain_prefix_deviations(const std::vector<double>& w, const Sample& sample,
                                   std::size_t m, double p = 1.0) {
  const std::size_t n = w.size();
  double m0 = 1e-5;
  for (auto pos : sample) {
    const double a = std::fabs(w[pos - 1]);
    if (a != 0.0 && !std::isnan(a)) m0 = std::min(m0, a);
  }
  const double floor = m0 * std::ldexp(1.0, -10);
  std::vector<double> q(n, 0.0);
  double ns = 0.0;
  for (std::size_t j = 0; j < m; ++j) {
    const double a = std::fabs(w[sample[j] - 1]);
    const double base = (std::isnan(a) || a < floor) ? floor : a;
    q[sample[j] - 1] = std::pow(base, p);
    ns += q[sample[j] - 1];
  }
  const double miss_step = 1.0 / static_cast<double>(n - m);
  double running = 0.0;
  Deviations d;
  for (std::size_t i = 0; i < n; ++i) {
    if (q[i] > 0.0) {
      d.bottom = std::max(d.bottom, -running);
      running += q[i] / ns;
      d.top = std::max(d.top, running);
    } else {
      running -= miss_step;
    }
  }
  return d;
}

double score_of(Deviations d, ScoreType score_type) {
  switch (score_type) {
    case ScoreType::Pos:
      return d.top;
    case ScoreType::Neg:
      return -d.bottom;
    case ScoreType::Std:
      break;
  }
  return d.top == d.bottom ? 0.0 : (d.top < d.bottom ? -d.bottom : d.top);
}

enum class Weights { Integer, Real, WithZeros, Equal };

std::vector<double> make_weights(std::size_t n, Weights kind, std::uint32_t seed) {
  auto g = random::RMt19937SeedCompat::seed_standard(seed);
  std::vector<double> w(n);
  for (double& x : w) {
    switch (kind) {
      case Weights::Integer:
        x = 1 + random::uniform_below(g, 1000000);
        break;
      case Weights::Real:
        x = 0.1 + 3.0 * (random::uniform_below(g, 1u << 30) * std::ldexp(1.0, -30));
        break;
      case Weights::WithZeros:
        x = random::uniform_below(g, 5) == 0
                ? 0.0
                : 0.1 + random::uniform_below(g, 1u << 30) * std::ldexp(1.0, -30);
        break;
      case Weights::Equal:
        x = 1.0;
        break;
    }
  }
  return w;
}

constexpr ScoreType kScoreTypes[] = {ScoreType::Std, ScoreType::Pos, ScoreType::Neg};

TEST(CumulativeStat, EveryPrefixMatchesPlainRunningSum) {
  // The prefix structures add in another order than the plain walk, so the
  // two agree to rounding only; a missed or misplaced slot would be off by at
  // least one miss step (>= 1/n here).
  struct Case {
    std::size_t n, k;
    Weights weights;
    double p;
  };
  const Case cases[] = {
      {10, 1, Weights::Integer, 1.0},     {10, 9, Weights::Real, 1.0},
      {50, 20, Weights::WithZeros, 1.0},  {60, 30, Weights::Equal, 1.0},
      {2000, 300, Weights::Integer, 1.0}, {700, 699, Weights::WithZeros, 1.0},
      {300, 64, Weights::Real, 2.0},
  };
  for (const Case& c : cases) {
    const auto w = make_weights(c.n, c.weights, 17);
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
      auto g = random::RMt19937SeedCompat::seed_standard(seed);
      const Sample sample = random::combination(1, c.n, c.k, g);
      for (ScoreType st : kScoreTypes) {
        const auto stats = cumulative_prefix_scores_f64(w, sample, st, c.p);
        ASSERT_EQ(stats.size(), c.k);
        for (std::size_t m = 1; m <= c.k; ++m) {
          SCOPED_TRACE(::testing::Message() << "n " << c.n << " k " << c.k << " seed " << seed
                                            << " type " << static_cast<int>(st) << " m " << m);
          const Deviations d = plain_prefix_deviations(w, sample, m, c.p);
          if (st == ScoreType::Std && std::fabs(d.top - d.bottom) < 1e-12) {
            // Equal up to rounding (exactly equal with equal weights): either
            // side or the tie's 0 is a correct rounding of the score.
            const double v = stats[m - 1];
            EXPECT_TRUE(v == 0.0 || std::fabs(v - d.top) < 1e-12 || std::fabs(v + d.bottom) < 1e-12)
                << v;
            continue;
          }
          ASSERT_NEAR(stats[m - 1], score_of(d, st), 1e-12);
        }
      }
    }
  }
}

TEST(CumulativeStat, OrderIsStableAndZeroWeightsStillCount) {
  EXPECT_EQ(order(Sample{5, 3, 5, 1, 3}), (std::vector<std::size_t>{3, 1, 4, 0, 2}));
  // Genes 1 (weight 0) and 4 (weight 8) of 5. Gene 1 weighs floor = 1e-5 x
  // 2^-10, so read from the bottom the peak at gene 4 is 8/(8 + floor) - 1/3,
  // just below the 2/3 a weightless gene would leave.
  const std::vector<double> w = {0.0, 2.0, 2.0, 8.0, 1.0};
  const Sample sample = {1, 4};
  const double floor = 1e-5 * std::ldexp(1.0, -10);
  const auto fwd = gsea_stats1_f64(w, sample, order(sample), 1.0, StatDirection::Forward);
  EXPECT_NEAR(fwd[0], 1.0, 1e-15);
  EXPECT_NEAR(fwd[1], 1.0 / 3.0, 1e-15);
  const auto rev = gsea_stats1_f64(w, sample, order(sample), 1.0, StatDirection::Reversed);
  EXPECT_NEAR(rev[0], 0.0, 1e-15);  // gene 1 alone is the last gene read from the bottom
  EXPECT_NEAR(rev[1], 8.0 / (8.0 + floor) - 1.0 / 3.0, 1e-15);
  EXPECT_LT(rev[1], 2.0 / 3.0);
}

void expect_identical(const BatchCounts& a, const BatchCounts& b) {
  EXPECT_EQ(a.le, b.le);
  EXPECT_EQ(a.ge, b.ge);
  EXPECT_EQ(a.le_zero, b.le_zero);
  EXPECT_EQ(a.ge_zero, b.ge_zero);
  ASSERT_EQ(a.le_zero_sum.size(), b.le_zero_sum.size());
  for (std::size_t d = 0; d < a.le_zero_sum.size(); ++d) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(a.le_zero_sum[d]),
              std::bit_cast<std::uint64_t>(b.le_zero_sum[d]))
        << d;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(a.ge_zero_sum[d]),
              std::bit_cast<std::uint64_t>(b.ge_zero_sum[d]))
        << d;
  }
}

// The counters of one permutation score es_p against an observed es.
void count(BatchCounts& c, std::size_t d, double es, double es_p) {
  c.le[d] += es >= es_p;
  c.ge[d] += es_p >= es;
  if (es_p <= 0) {
    ++c.le_zero[d];
    c.le_zero_sum[d] += es_p;
  }
  if (es_p >= 0) {
    ++c.ge_zero[d];
    c.ge_zero_sum[d] += es_p;
  }
}

void expect_same_counts_close_sums(const BatchCounts& got, const BatchCounts& want) {
  EXPECT_EQ(got.le, want.le);
  EXPECT_EQ(got.ge, want.ge);
  EXPECT_EQ(got.le_zero, want.le_zero);
  EXPECT_EQ(got.ge_zero, want.ge_zero);
  for (std::size_t d = 0; d < want.le.size(); ++d) {
    EXPECT_NEAR(got.le_zero_sum[d], want.le_zero_sum[d],
                1e-9 * (1 + std::fabs(want.le_zero_sum[d])));
    EXPECT_NEAR(got.ge_zero_sum[d], want.ge_zero_sum[d],
                1e-9 * (1 + std::fabs(want.ge_zero_sum[d])));
  }
}

// Score of the first m drawn positions with integer weights, by a plain walk
// in exact integer arithmetic (units of 1/(NS (n - m))), so that ties and
// zeros are decided exactly; only the returned double is rounded.
struct ExactScore {
  double value;
  bool clamped;  // pos/neg: no member lifts the walk above 0 (the score is 0 by the clamp)
};

ExactScore exact_prefix_score(const std::vector<double>& w, const Sample& sample, std::size_t m,
                              ScoreType score_type) {
  const auto n = static_cast<std::int64_t>(w.size());
  const auto misses = n - static_cast<std::int64_t>(m);
  std::vector<std::int64_t> q(w.size(), 0);
  std::int64_t ns = 0;
  for (std::size_t j = 0; j < m; ++j) {
    q[sample[j] - 1] = static_cast<std::int64_t>(w[sample[j] - 1]);
    ns += q[sample[j] - 1];
  }
  std::int64_t running = 0, top = 0, bottom = 0;
  for (std::int64_t qi : q) {
    if (qi > 0) {
      bottom = std::max(bottom, -running);
      running += qi * misses;
      top = std::max(top, running);
    } else {
      running -= ns;
    }
  }
  const double den = static_cast<double>(ns) * static_cast<double>(misses);
  switch (score_type) {
    case ScoreType::Pos:
      return {static_cast<double>(top) / den, top == 0};
    case ScoreType::Neg:
      return {-static_cast<double>(bottom) / den, bottom == 0};
    case ScoreType::Std:
      break;
  }
  if (top == bottom) return {0.0, false};
  return {top < bottom ? -static_cast<double>(bottom) / den : static_cast<double>(top) / den,
          false};
}

TEST(BatchCounts, SequentialEqualsDirectCountOfEveryPrefixSet) {
  // Each permutation is combination(1, n, K) from the chunk seed's standard
  // generator; pathway d's permuted score is the plain score of its first
  // size_d draws, here computed exactly.
  //
  // Ties with the observed score are excluded on purpose: the batch scores are
  // rounded in another order than the exact walk, so an observed score equal
  // to a permuted one (as when a permutation draws the pathway's own genes)
  // could be counted on either side. Observed scores are put midway between
  // two distinct permuted scores instead. Integer weights keep the batch
  // scores exact enough that exact ties between the two directions give 0 in
  // both. Scores of 0 by the pos/neg clamp are excluded too: the batch pass
  // then returns the rounding error of its sentinel, a tiny value of either
  // sign. A pos score is clamped only when the last gene is a member and the
  // members before it weigh little against the later ones; with weights
  // falling down the list (as a ranked list's positive side does) that needs
  // all members packed low in the list, which sets of 5 or more drawn here
  // never are. Mirrored for neg.
  const std::size_t n = 60;
  const std::size_t k = 20, permutations = 400;
  const std::uint64_t chunk_seed = 0x1234567890ull;
  for (ScoreType st : kScoreTypes) {
    SCOPED_TRACE(static_cast<int>(st));
    auto w = make_weights(n, Weights::Integer, 3);
    std::sort(w.begin(), w.end(), std::greater<>());
    if (st == ScoreType::Neg) std::reverse(w.begin(), w.end());
    const std::vector<std::size_t> sizes =
        st == ScoreType::Std ? std::vector<std::size_t>{1, 2, 3, 5, 5, 9, 14, 14, 20}
                             : std::vector<std::size_t>{5, 5, 9, 14, 14, 20};
    auto g = random::RMt19937SeedCompat::seed_standard(static_cast<std::uint32_t>(chunk_seed));
    std::vector<std::vector<double>> scores(sizes.size());
    for (std::size_t i = 0; i < permutations; ++i) {
      const Sample sample = random::combination(1, n, k, g);
      for (std::size_t d = 0; d < sizes.size(); ++d) {
        const ExactScore e = exact_prefix_score(w, sample, sizes[d], st);
        ASSERT_FALSE(e.clamped) << "permutation " << i << " size " << sizes[d];
        scores[d].push_back(e.value);
      }
    }
    std::vector<double> es(sizes.size());
    for (std::size_t d = 0; d < sizes.size(); ++d) {
      std::vector<double> sorted = scores[d];
      std::sort(sorted.begin(), sorted.end());
      sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
      ASSERT_GE(sorted.size(), 2u);
      const std::size_t at = (d + 1) * (sorted.size() - 1) / (sizes.size() + 1);
      ASSERT_GT(sorted[at + 1] - sorted[at], 1e-9);
      es[d] = 0.5 * (sorted[at] + sorted[at + 1]);
    }
    BatchCounts want = empty_batch_counts(sizes.size());
    for (std::size_t d = 0; d < sizes.size(); ++d) {
      for (double v : scores[d]) count(want, d, es[d], v);
    }
    const BatchInputs in{w, sizes, es, st};
    expect_same_counts_close_sums(batch_permutation_counts_f64(in, permutations, chunk_seed), want);
  }
}

struct ChunkCase {
  std::size_t n, pathways, max_size;
  Weights weights;
  ScoreType score_type;
  std::uint64_t permutations;
};

struct Chunk {
  std::vector<double> w;
  std::vector<std::size_t> sizes;
  std::vector<double> es;
  BatchInputs inputs() const { return {w, sizes, es, score_type}; }
  ScoreType score_type;
};

// Pathway sizes in 1..max_size (the largest present) and observed scores
// spread over the range permuted scores take.
Chunk make_chunk(const ChunkCase& c) {
  Chunk ch{make_weights(c.n, c.weights, 5), {}, {}, c.score_type};
  auto g = random::RMt19937SeedCompat::seed_standard(77);
  for (std::size_t d = 0; d < c.pathways; ++d) {
    ch.sizes.push_back(
        d == 0 ? c.max_size : 1 + random::uniform_below(g, static_cast<std::uint32_t>(c.max_size)));
    ch.es.push_back(-0.8 + 1.6 * random::uniform_below(g, 1000) / 1000.0);
  }
  return ch;
}

TEST(BatchCounts, ExactParallelIdenticalToSequential) {
  const ChunkCase cases[] = {
      {500, 150, 40, Weights::Integer, ScoreType::Std, 4100},  // crosses a batch of 4096
      {300, 130, 25, Weights::WithZeros, ScoreType::Pos, 700},
      {200, 140, 199, Weights::Real, ScoreType::Neg, 300},
      {100, 128, 10, Weights::Equal, ScoreType::Std, 500},
  };
  for (const ChunkCase& c : cases) {
    const Chunk ch = make_chunk(c);
    SCOPED_TRACE(::testing::Message() << "n " << c.n << " pathways " << c.pathways);
    const auto seq = batch_permutation_counts_f64(ch.inputs(), c.permutations, 987654321);
    const auto par = batch_permutation_counts_f64_thread_invariant_parallel(
        ch.inputs(), c.permutations, 987654321);
    expect_identical(par, seq);
  }
  const Chunk ch = make_chunk(cases[1]);
  expect_identical(batch_permutation_counts_f64(ch.inputs(), 0, 1), empty_batch_counts(130));
}

// SplitMix64 output for the state ((2 task) XOR chunk seed XOR start).
std::uint64_t splitmix64(std::uint64_t state) {
  std::uint64_t x = state + 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// The fast strategy rebuilt task by task: T = min(8 x threads, c) tasks, the
// first c mod T of them one permutation longer; each task's own generator
// draws a partial Fisher-Yates shuffle (K > n/2) or a rejection sample.
BatchCounts fast_strategy_by_hand(const Chunk& ch, std::uint64_t c, std::uint64_t chunk_seed,
                                  std::uint64_t threads) {
  const std::uint64_t n = ch.w.size();
  const std::size_t k = *std::max_element(ch.sizes.begin(), ch.sizes.end());
  const std::uint64_t tasks = std::min(threads * 8, c);
  BatchCounts total = empty_batch_counts(ch.sizes.size());
  std::uint64_t start = 0;
  for (std::uint64_t i = 0; i < tasks; ++i) {
    const std::uint64_t len = c / tasks + (i < c % tasks ? 1 : 0);
    auto g = random::RMt19937SeedCompat::seed_standard(
        static_cast<std::uint32_t>(splitmix64((2 * i) ^ chunk_seed ^ start)));
    for (std::uint64_t p = 0; p < len; ++p) {
      Sample sample;
      if (k > n / 2) {
        Sample population(n);
        std::iota(population.begin(), population.end(), 1);
        for (std::size_t r = k; r-- > 0;) {
          std::swap(population[r],
                    population[r + random::uniform_below(g, static_cast<std::uint32_t>(n - r))]);
        }
        sample.assign(population.begin(), population.begin() + static_cast<std::ptrdiff_t>(k));
      } else {
        std::vector<bool> taken(n);
        while (sample.size() < k) {
          const auto x = random::uniform_below(g, static_cast<std::uint32_t>(n));
          if (taken[x]) continue;
          taken[x] = true;
          sample.push_back(x + 1);
        }
      }
      const auto stats = cumulative_prefix_scores_f64(ch.w, sample, ch.score_type, 1.0);
      for (std::size_t d = 0; d < ch.sizes.size(); ++d)
        count(total, d, ch.es[d], stats[ch.sizes[d] - 1]);
    }
    start += len;
  }
  return total;
}

TEST(BatchCounts, FastStrategyFollowsThePoolSize) {
  EXPECT_EQ(splitmix64(0), 0xE220A8397B1DCDAFull);  // the generator's published first output
  const ChunkCase cases[] = {
      {400, 130, 30, Weights::Integer, ScoreType::Std, 100},
      {60, 128, 45, Weights::WithZeros, ScoreType::Pos, 37},  // K > n/2: Fisher-Yates
  };
  const std::uint64_t seed = 0xABCDEF12345ull;
  for (const ChunkCase& c : cases) {
    const Chunk ch = make_chunk(c);
    const auto exact = batch_permutation_counts_f64(ch.inputs(), c.permutations, seed);
    std::vector<BatchCounts> by_threads;
    for (std::size_t threads : {1, 2, 16}) {  // 16 threads and 100 permutations: 100 tasks of one
      SCOPED_TRACE(::testing::Message() << "n " << c.n << " threads " << threads);
      const auto fast =
          batch_permutation_counts_f64_parallel(ch.inputs(), c.permutations, seed, threads);
      expect_same_counts_close_sums(fast, fast_strategy_by_hand(ch, c.permutations, seed, threads));
      expect_identical(
          fast, batch_permutation_counts_f64_parallel(ch.inputs(), c.permutations, seed, threads));
      EXPECT_NE(fast.ge, exact.ge);
      by_threads.push_back(fast);
    }
    EXPECT_NE(by_threads[0].ge, by_threads[1].ge);
    EXPECT_NE(by_threads[1].ge, by_threads[2].ge);
  }
}

TEST(BatchCounts, ChunkStrategyChoice) {
  // Strategy 3 only on request, with two or more pool threads and at least
  // 128 pathways; otherwise the exact counters.
  const std::size_t threads = static_cast<std::size_t>(runtime::worker_pool_size());
  for (std::size_t pathways : {127, 128}) {
    const Chunk ch = make_chunk({300, pathways, 20, Weights::Integer, ScoreType::Std, 200});
    const auto exact = batch_permutation_counts_f64(ch.inputs(), 200, 42);
    expect_identical(batch_counts_for_chunk(ch.inputs(), 200, 42), exact);
    setenv("QUENFA_FAST_NONEXACT_SIMPLE", "", 1);
    const auto chosen = batch_counts_for_chunk(ch.inputs(), 200, 42);
    unsetenv("QUENFA_FAST_NONEXACT_SIMPLE");
    if (threads >= 2 && pathways >= 128) {
      expect_identical(chosen,
                       batch_permutation_counts_f64_parallel(ch.inputs(), 200, 42, threads));
    } else {
      expect_identical(chosen, exact);
    }
  }
}

TEST(BatchCounts, GroupsAndMerging) {
  const std::vector<std::size_t> sizes = {3, 1, 3, 7, 1};
  const auto groups = grouped_score_indices(sizes);
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[0].stats_index, 0u);
  EXPECT_EQ(groups[0].pathways, (std::vector<std::size_t>{1, 4}));
  EXPECT_EQ(groups[1].stats_index, 2u);
  EXPECT_EQ(groups[1].pathways, (std::vector<std::size_t>{0, 2}));
  EXPECT_EQ(groups[2].stats_index, 6u);

  BatchCounts a = empty_batch_counts(2), b = empty_batch_counts(2);
  count(a, 0, 0.5, -0.25);
  count(b, 0, 0.5, 0.75);
  count(b, 1, -0.1, 0.0);
  const auto m = merge_batch_counts(a, b);
  EXPECT_EQ(m.le, (std::vector<std::uint64_t>{1, 0}));
  EXPECT_EQ(m.ge, (std::vector<std::uint64_t>{1, 1}));
  EXPECT_EQ(m.le_zero, (std::vector<std::uint64_t>{1, 1}));
  EXPECT_EQ(m.ge_zero, (std::vector<std::uint64_t>{1, 1}));
  EXPECT_EQ(m.le_zero_sum, (std::vector<double>{-0.25, 0.0}));
  EXPECT_EQ(m.ge_zero_sum, (std::vector<double>{0.75, 0.0}));
}

}  // namespace
}  // namespace quenfa::classic
