// The multilevel estimator must order gene sets exactly, cut its population
// where the ties say, perturb chunked samples exactly as the unchunked
// reference does, and estimate small P-values as brute force does.
#include "quenfa/multilevel/group_estimation.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace quenfa::multilevel {
namespace {

using i128 = __int128;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// lt_cpp evaluated with every operand widened to 128 bits first.
bool wide_lt(const Gsea& x, const Gsea& y) {
  const i128 a =
      (i128{x.miss_count} * x.peak_hit_sum + (i128{y.peak_misses} - x.peak_misses) * x.weight_sum) *
          y.weight_sum -
      (i128{x.miss_count} * x.weight_sum) * y.peak_hit_sum;
  if (a < 0) return true;
  const i128 b =
      (i128{y.miss_count} * y.peak_hit_sum + (i128{x.peak_misses} - y.peak_misses) * y.weight_sum) *
          x.weight_sum -
      (i128{y.miss_count} * y.weight_sum) * x.peak_hit_sum;
  if (b < 0) return false;
  return x.key < y.key;
}

bool inner_fits_64(const Gsea& x, const Gsea& y) {
  const i128 inner =
      i128{x.miss_count} * x.peak_hit_sum + (i128{y.peak_misses} - x.peak_misses) * x.weight_sum;
  const i128 ds = i128{x.miss_count} * x.weight_sum;
  return inner == static_cast<std::int64_t>(inner) && ds == static_cast<std::int64_t>(ds);
}

std::vector<std::uint32_t> random_set(std::mt19937_64& rng, std::uint32_t n, std::uint32_t k) {
  std::vector<std::uint32_t> all(n);
  for (std::uint32_t i = 0; i < n; ++i) all[i] = i;
  std::shuffle(all.begin(), all.end(), rng);
  all.resize(k);
  std::sort(all.begin(), all.end());
  return all;
}

TEST(GseaOrder, LtCppAgreesWithPlain128BitEvaluation) {
  std::mt19937_64 rng(7);
  std::size_t fast = 0, wide = 0;
  auto check = [&](const Gsea& x, const Gsea& y) {
    ASSERT_EQ(x.lt_cpp(y), wide_lt(x, y));
    ASSERT_EQ(y.lt_cpp(x), wide_lt(y, x));
    (inner_fits_64(x, y) ? fast : wide) += 1;
  };

  // Points anywhere in the accepted ranges, weight sums up to 2^46 and miss
  // counts up to 2^32 - 1, so both the 64-bit path and its fallback run.
  auto draw = [&](std::int64_t max_sum, std::int64_t d) {
    Gsea g;
    g.weight_sum = std::uniform_int_distribution<std::int64_t>(1, max_sum)(rng);
    g.peak_hit_sum = std::uniform_int_distribution<std::int64_t>(0, g.weight_sum)(rng);
    g.miss_count = d;
    g.peak_misses = std::uniform_int_distribution<std::int64_t>(0, d)(rng);
    const bool small_key = rng() & 1;  // small keys make key ties
    g.key = rng() & (small_key ? 3ull : ~0ull);
    return g;
  };
  for (std::int64_t max_sum : {std::int64_t{40}, std::int64_t{1} << 30, kMaxWeightTotal}) {
    for (std::int64_t d : {std::int64_t{1}, std::int64_t{19950}, std::int64_t{0xFFFFFFFE}}) {
      for (int i = 0; i < 20000; ++i) {
        const Gsea x = draw(max_sum, d);
        check(x, draw(max_sum, d));
        // Same score in another form: h and S doubled, m unchanged.
        if (2 * x.weight_sum <= kMaxWeightTotal) {
          Gsea y = x;
          y.peak_hit_sum *= 2;
          y.weight_sum *= 2;
          y.key = rng();
          check(x, y);
        }
      }
    }
  }

  // Points of real sets under integer weights with totals near 2^30: equal,
  // random, geometric, and one gene holding almost all of the total.
  const std::uint32_t n = 400;
  std::vector<std::vector<std::int64_t>> weight_sets(4, std::vector<std::int64_t>(n));
  for (std::uint32_t i = 0; i < n; ++i) {
    weight_sets[0][i] = (std::int64_t{1} << 30) / n;
    weight_sets[1][i] =
        std::uniform_int_distribution<std::int64_t>(0, (std::int64_t{1} << 31) / n)(rng);
    weight_sets[2][i] = std::int64_t{1} << (26 - std::min<std::uint32_t>(26, i / 12));
    weight_sets[3][i] = i == 7 ? (std::int64_t{1} << 30) - n : 1;
  }
  for (auto& weights : weight_sets) {
    auto ruler = MultilevelRuler::create(weights, 1, 25);
    for (auto& key : ruler.gene_keys) key = rng() & 0xFFFFFFFFu;
    std::vector<Gsea> points;
    for (int i = 0; i < 150; ++i)
      points.push_back(ruler.set_statistics(random_set(rng, n, 25)).gsea);
    for (const Gsea& x : points) {
      for (const Gsea& y : points) check(x, y);
    }
  }
  EXPECT_GT(fast, 10000u);
  EXPECT_GT(wide, 10000u);
}

TEST(GseaOrder, EqualScoresAreOrderedByUnsignedKey) {
  // ES = 3/4 - 1/2 in two forms.
  const Gsea low{4, 3, 2, 1, 5};
  const Gsea high_key{8, 6, 2, 1, 0x8000000000000000ull};
  EXPECT_TRUE(low.lt_cpp(high_key));
  EXPECT_FALSE(high_key.lt_cpp(low));
  EXPECT_FALSE(low.lt_cpp(low));

  // Copies of one set (same point and key): false before true, then index.
  const SetStatistics a{low, true, 0}, b{low, false, 1}, c{low, false, 2};
  EXPECT_TRUE(statistics_less(b, a));
  EXPECT_TRUE(statistics_less(b, c));
  EXPECT_FALSE(statistics_less(c, b));
}

TEST(GseaOrder, TargetIsReachedAtEqualityAndTruncatedToMultiplesOf2ToMinus30) {
  const Gsea half{4, 3, 4, 1, 0};  // 3/4 - 1/4 = 0.5 exactly
  const Gsea one{4, 4, 4, 0, 0};   // 1
  const Gsea zero{4, 0, 4, 0, 0};
  const double ulp30 = std::ldexp(1.0, -30);
  struct Case {
    Gsea point;
    double t;
    bool reached;
  };
  const Case cases[] = {
      {half, 0.5, true},          {half, 0.5 + ulp30 / 2, true},  // truncated to 0.5
      {half, 0.5 + ulp30, false}, {half, 0.5 - ulp30, true},
      {one, 1.0, true},           {one, 1.0 + ulp30, false},
      {one, 1e300, false},        {one, std::numeric_limits<double>::infinity(), false},
      {zero, 0.0, true},          {zero, kNaN, true},  // NaN scales to 0
      {zero, ulp30, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(reaches_target(c.point, scale_target(c.t)), c.reached) << c.t;
  }
  EXPECT_EQ(scale_target(0.5), std::int64_t{1} << 29);
  EXPECT_EQ(scale_target(kNaN), 0);
}

TEST(SetStatistics, PeakSignAndKeyOfSmallSets) {
  struct Case {
    std::vector<std::int64_t> weights;
    std::vector<std::uint32_t> genes;
    Gsea expected;  // key filled in below
    bool non_negative;
  };
  const Case cases[] = {
      // Peak after gene 0 (3/4); the largest |score| is the same point.
      {{3, 1, 1, 1, 2}, {0, 3}, {4, 3, 3, 0, 0}, true},
      // No point above 0: the peak stays at (0, 0); the largest |score| is
      // the point just before gene 3 (-1).
      {{3, 1, 1, 1, 2}, {3, 4}, {3, 0, 3, 0, 0}, false},
      // Two equal best scores (1/2): the first one is kept.
      {{1, 1, 1, 1}, {0, 2}, {2, 1, 2, 0, 0}, true},
      // Genes of weight 0 only: every gene weighs 1.
      {{0, 5, 0, 5}, {0, 2}, {2, 1, 2, 0, 0}, true},
  };
  for (const Case& c : cases) {
    auto ruler = MultilevelRuler::create(c.weights, 1, c.genes.size());
    for (std::size_t j = 0; j < ruler.gene_keys.size(); ++j) ruler.gene_keys[j] = 1ull << j;
    Gsea expected = c.expected;
    for (std::uint32_t g : c.genes) expected.key ^= 1ull << g;
    const SetStatistics s = ruler.set_statistics(c.genes);
    EXPECT_EQ(s.gsea, expected) << c.genes[0] << "," << c.genes[1];
    EXPECT_EQ(s.non_negative, c.non_negative) << c.genes[0] << "," << c.genes[1];
  }
}

TEST(SetStatistics, OrderStaysTotalWithZeroWeightSets) {
  // Most genes weigh 0, so many sets have a zero weight sum; the order over
  // them must stay transitive for the population sort.
  std::mt19937_64 rng(3);
  std::vector<std::int64_t> weights(60, 0);
  for (std::size_t i = 0; i < weights.size(); i += 6)
    weights[i] = 1000 + static_cast<std::int64_t>(i);
  auto ruler = MultilevelRuler::create(weights, 1, 3);
  for (auto& key : ruler.gene_keys) key = rng() & 7;  // frequent key ties
  std::vector<SetStatistics> stats;
  for (std::size_t i = 0; i < 40; ++i) {
    stats.push_back(ruler.set_statistics(random_set(rng, 60, 3)));
    stats.back().index = i;
  }
  for (const auto& a : stats) {
    for (const auto& b : stats) {
      for (const auto& c : stats) {
        if (statistics_less(a, b) && statistics_less(b, c)) {
          ASSERT_TRUE(statistics_less(a, c));
        }
      }
    }
  }
}

// A ruler of n equal weights holding `sets` as its population.
MultilevelRuler staged_ruler(std::uint32_t n, std::vector<std::vector<std::uint32_t>> sets) {
  auto ruler =
      MultilevelRuler::create(std::vector<std::int64_t>(n, 1), sets.size(), sets[0].size());
  ruler.samples = std::move(sets);
  return ruler;
}

TEST(ResampleGenesets, TiedLowestGroupAroundTheMedianIsCutWhole) {
  // 60 copies of a set scoring 0, then 41 sets scoring 1 - j/98.
  std::vector<std::vector<std::uint32_t>> sets(60, {98, 99});
  for (std::uint32_t j = 1; j <= 41; ++j) sets.push_back({0, j + 1});
  auto ruler = staged_ruler(100, sets);
  const Gsea low = ruler.set_statistics(sets[0]).gsea;
  auto gen = random::RMt19937SeedCompat::seed_standard(11);
  auto twin = gen;

  ASSERT_TRUE(ruler.resample_population(gen));
  ASSERT_EQ(ruler.levels.size(), 1u);
  const Level& level = ruler.levels[0];
  EXPECT_EQ(level.below.size(), 60u);
  EXPECT_EQ(level.above.size(), 41u);
  EXPECT_EQ(level.threshold, low);

  // The sorted upper part, highest score last; 60 copies drawn from it in
  // front, one bounded draw each.
  std::vector<std::vector<std::uint32_t>> above;
  for (std::uint32_t j = 41; j >= 1; --j) above.push_back({0, j + 1});
  for (std::size_t i = 0; i < 60; ++i) {
    EXPECT_EQ(ruler.samples[i], above[random::uniform_below(twin, 41)]);
  }
  EXPECT_EQ(std::vector(ruler.samples.begin() + 60, ruler.samples.end()), above);
  EXPECT_EQ(gen.next_u32(), twin.next_u32());
}

TEST(ResampleGenesets, CutsBelowTheMedianEntry) {
  // Sets {j, j + 1} of 10 genes score 1 - j/8.
  std::vector<std::vector<std::uint32_t>> sets;
  for (std::uint32_t j : {2u, 0u, 4u, 3u, 1u}) sets.push_back({j, j + 1});
  auto ruler = staged_ruler(10, sets);
  auto gen = random::RMt19937SeedCompat::seed_standard(1);
  ASSERT_TRUE(ruler.resample_population(gen));
  EXPECT_EQ(ruler.levels[0].below.size(), 2u);
  EXPECT_EQ(ruler.levels[0].threshold, ruler.set_statistics(std::vector<std::uint32_t>{3, 4}).gsea);
  EXPECT_EQ(ruler.samples.size(), 5u);
}

TEST(ResampleGenesets, AllEqualPopulationMakesNoLevelAndDrawsNothing) {
  for (std::size_t copies : {1u, 101u}) {
    auto ruler = staged_ruler(20, std::vector<std::vector<std::uint32_t>>(copies, {3, 5, 8}));
    auto gen = random::RMt19937SeedCompat::seed_standard(5);
    const auto before = ruler.samples;
    EXPECT_FALSE(ruler.resample_population(gen));
    EXPECT_TRUE(ruler.levels.empty());
    EXPECT_EQ(ruler.samples, before);
    EXPECT_EQ(gen.next_u32(), random::RMt19937SeedCompat::seed_standard(5).next_u32());
  }
}

// The unchunked reference perturbation: the set as one ascending vector,
// every point after a gene compared with lt_cpp.
std::int32_t unchunked_perturb_sample(const MultilevelRuler& ruler, std::vector<std::uint32_t>& set,
                                      const Gsea& threshold, random::RMt19937SeedCompat& gen) {
  const auto k = static_cast<std::uint32_t>(set.size());
  const auto n = static_cast<std::uint32_t>(ruler.gene_count());
  const std::int32_t iterations = std::max(1, static_cast<std::int32_t>(k * 0.1));
  std::int32_t moves = 0;
  for (std::int32_t it = 0; it < iterations; ++it) {
    const std::uint32_t r = random::uniform_below(gen, k);
    const std::uint32_t g = random::uniform_below(gen, n);
    const std::uint32_t old = set[r];
    if (std::binary_search(set.begin(), set.end(), g)) {
      moves += (g == old);
      continue;
    }
    auto next = set;
    next[r] = g;
    std::sort(next.begin(), next.end());
    std::int64_t s = 0;
    std::uint64_t key = 0;
    for (std::uint32_t x : next) {
      s += ruler.ranks[x];
      key ^= ruler.gene_keys[x];
    }
    const bool unit = s == 0;
    Gsea point{unit ? k : s, 0, n - k, 0, key};
    bool beats = false;
    for (std::uint32_t i = 0; i < k && !beats; ++i) {
      point.peak_hit_sum += unit ? 1 : ruler.ranks[next[i]];
      point.peak_misses = next[i] - i;
      beats = threshold.lt_cpp(point);
    }
    if (beats) {
      set = next;
      ++moves;
    }
  }
  return moves;
}

TEST(Perturbate, ChunkedSwapsDecideAsThePlainDescription) {
  struct Case {
    const char* name;
    std::uint32_t n, k;
    std::vector<std::int64_t> weights;
  };
  std::mt19937_64 rng(17);
  auto weights_of = [&](std::uint32_t n, int kind) {
    std::vector<std::int64_t> w(n);
    for (std::uint32_t i = 0; i < n; ++i) {
      switch (kind) {
        case 0:
          w[i] = std::uniform_int_distribution<std::int64_t>(0, (3ll << 30) / n)(rng);
          break;
        case 1:
          w[i] = i % 4 == 0 ? 1 : 0;
          break;  // many zero-weight sets
        case 2:
          w[i] = std::int64_t{1} << (45 - i % 40);
          break;  // 128-bit numerators
      }
    }
    std::sort(w.rbegin(), w.rend());
    return w;
  };
  const Case cases[] = {
      {"k=1", 30, 1, weights_of(30, 0)},
      {"k=17", 200, 17, weights_of(200, 0)},
      {"k=64", 500, 64, weights_of(500, 0)},
      {"zero weights", 40, 3, weights_of(40, 1)},
      {"wide numerators", 200000, 30, weights_of(200000, 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto ruler = MultilevelRuler::create(c.weights, 31, c.k);
    ruler.extend(9, 0.0, 0.0, runtime::current_run());  // keys, population and first level only
    ASSERT_FALSE(ruler.levels.empty());
    const Gsea threshold = ruler.levels.back().threshold;
    auto& bounds = ruler.chunk_bounds;
    // Bounds of a spread of chunk sizes, the last one n.
    for (std::size_t q = 0; q + 1 < bounds.size(); ++q) {
      bounds[q] = static_cast<std::uint32_t>((q + 1) * c.n / (bounds.size() + 1));
    }
    for (const auto& genes : ruler.samples) {
      ChunkedSample set;
      set.chunks.resize(ruler.chunk_count);
      set.chunk_sums.assign(ruler.chunk_count, 0);
      for (std::uint32_t g : genes) {
        const std::size_t q = std::upper_bound(bounds.begin(), bounds.end(), g) - bounds.begin();
        set.chunks[q].push_back(g);
        set.chunk_sums[q] += ruler.ranks[g];
        set.weight_sum += ruler.ranks[g];
        set.key ^= ruler.gene_keys[g];
      }
      std::vector<std::uint32_t> unchunked = genes;
      auto gen = random::RMt19937SeedCompat::seed_standard(static_cast<std::uint32_t>(rng()));
      auto unchunked_gen = gen;
      for (int call = 0; call < 40; ++call) {
        ASSERT_EQ(ruler.perturb_sample(c.k, set, threshold, gen),
                  unchunked_perturb_sample(ruler, unchunked, threshold, unchunked_gen));
        std::vector<std::uint32_t> joined;
        for (std::size_t q = 0; q < set.chunks.size(); ++q) {
          std::int64_t sum = 0;
          for (std::uint32_t g : set.chunks[q]) {
            ASSERT_EQ(std::upper_bound(bounds.begin(), bounds.end(), g) - bounds.begin(),
                      static_cast<std::ptrdiff_t>(q));
            sum += ruler.ranks[g];
          }
          ASSERT_EQ(sum, set.chunk_sums[q]);
          joined.insert(joined.end(), set.chunks[q].begin(), set.chunks[q].end());
        }
        ASSERT_EQ(joined, unchunked);
      }
      EXPECT_EQ(gen.next_u32(), unchunked_gen.next_u32());
    }
  }
}

TEST(Extend, StopsOnlyAtTheTargetWhenTheBoundIsZeroOrNaN) {
  std::mt19937_64 rng(5);
  std::vector<std::int64_t> weights(300);
  for (auto& w : weights) w = std::uniform_int_distribution<std::int64_t>(1, 7000000)(rng);
  std::sort(weights.rbegin(), weights.rend());
  const double target = 0.62;
  auto run = [&](double eps_bound) {
    auto ruler = MultilevelRuler::create(weights, 101, 15);
    ruler.extend(21, target, eps_bound, runtime::current_run());
    return ruler;
  };
  const auto unbounded = run(0.0);
  ASSERT_GT(unbounded.levels.size(), 5u);
  EXPECT_TRUE(reaches_target(unbounded.levels.back().threshold, scale_target(target)));
  EXPECT_FALSE(reaches_target(unbounded.levels[unbounded.levels.size() - 2].threshold,
                              scale_target(target)));
  EXPECT_EQ(run(kNaN).levels.size(), unbounded.levels.size());

  // The levels of a bounded run are a prefix of the unbounded ones (same
  // draws); it stops at the first level whose sum takes log P below the log
  // of the bound. With the bound just under log P after three levels, that is
  // the fourth.
  double log_p = 0.0;
  std::vector<double> after_level;
  for (const Level& level : unbounded.levels) {
    log_p += neg_harmonic_sum(level.above.size() + 1, 101);
    after_level.push_back(log_p);
  }
  const auto bounded = run(std::exp(after_level[2] - 0.005));
  ASSERT_EQ(bounded.levels.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(bounded.levels[i].threshold, unbounded.levels[i].threshold);
  }
  EXPECT_EQ(bounded.chunk_count, 3u);
}

std::vector<std::int64_t> random_weights(std::uint32_t n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<std::int64_t> w(n);
  for (auto& x : w)
    x = std::uniform_int_distribution<std::int64_t>(0, (std::int64_t{1} << 31) / n)(rng);
  std::sort(w.rbegin(), w.rend());
  return w;
}

std::vector<double> estimate(const std::vector<std::int64_t>& weights, std::size_t k,
                             std::vector<double> es, std::uint64_t seed,
                             ScoreType score_type = ScoreType::Std, std::uint64_t n_sets = 101,
                             double eps = 1e-50) {
  const std::vector<std::uint64_t> counts(es.size(), 500);
  return estimate_multilevel_group(weights, k, es, counts, 1000, eps, score_type, n_sets, seed,
                                   runtime::current_run());
}

TEST(EstimateMultilevelGroup, IsDeterministicForASeed) {
  const auto w = random_weights(500, 1);
  const std::vector<double> es = {0.55, -0.5, 0.3, 0.0, kNaN};
  const auto first = estimate(w, 20, es, 0x1234567800000042ull);
  // Only the low 32 bits of the seed count.
  EXPECT_EQ(estimate(w, 20, es, 0x42ull), first);
  EXPECT_NE(estimate(w, 20, es, 0x43ull), first);
  // ES 0 and NaN use the positive ruler, extended since the maximum is >= 0.
  for (double raw : first) {
    EXPECT_GT(raw, 0.0);
    EXPECT_LE(raw, 1.0);
  }
  EXPECT_GT(first[2], first[0]);  // a milder score is more likely
}

TEST(EstimateMultilevelGroup, NegativeScoresUseTheReversedWeights) {
  const auto w = random_weights(400, 2);
  const std::vector<std::int64_t> reversed(w.rbegin(), w.rend());
  EXPECT_EQ(estimate(w, 12, {-0.6, -0.4}, 8), estimate(reversed, 12, {0.6, 0.4}, 8));
}

TEST(EstimateMultilevelGroup, DegenerateGroups) {
  const auto w = random_weights(30, 3);
  struct Case {
    const char* name;
    std::vector<std::int64_t> weights;
    std::size_t k;
    std::uint64_t n_sets;
    double expected;  // NaN: no level could be made
  };
  const Case cases[] = {
      {"k = 0", w, 0, 101, 1.0},
      {"no genes", {}, 3, 101, 1.0},
      {"k = n", w, 30, 101, kNaN},
      {"N = 1", w, 5, 1, kNaN},
  };
  for (const Case& c : cases) {
    const auto raw = estimate(c.weights, c.k, {0.4, -0.4}, 1, ScoreType::Std, c.n_sets);
    for (double r : raw) {
      if (std::isnan(c.expected)) {
        EXPECT_TRUE(std::isnan(r)) << c.name;
      } else {
        EXPECT_EQ(r, c.expected) << c.name;
      }
    }
  }
  // k = 1 works with one chunk.
  const auto single = estimate(w, 1, {0.9}, 1);
  EXPECT_GT(single[0], 0.0);
  EXPECT_LT(single[0], 1.0);
}

TEST(EstimateMultilevelGroup, WeightTotalsBeyondExactRangeAreScaledDown) {
  // Saturated weights (as a vanishing score total produces) order sets as
  // equal weights do; negative weights count by their absolute value.
  const std::uint32_t n = 40;
  const std::vector<std::int64_t> ones(n, 1);
  const std::vector<std::int64_t> saturated(n, std::numeric_limits<std::int64_t>::max());
  const auto expected = estimate(ones, 6, {0.7, -0.6}, 4);
  EXPECT_EQ(estimate(saturated, 6, {0.7, -0.6}, 4), expected);
  // All weights 0: every set is scored with unit weights.
  EXPECT_EQ(estimate(std::vector<std::int64_t>(n, 0), 6, {0.7, -0.6}, 4), expected);

  auto w = random_weights(n, 4);
  std::vector<std::int64_t> negated(n);
  std::transform(w.begin(), w.end(), negated.begin(), [](std::int64_t x) { return -x; });
  EXPECT_EQ(estimate(negated, 6, {0.7}, 4), estimate(w, 6, {0.7}, 4));
}

TEST(EstimateMultilevelGroup, AgreesWithBruteForceMonteCarlo) {
  // Positive peak scores of 1,000,000 random sets (k = 10 of n = 150), in
  // doubles with an independent generator; the target sits halfway between
  // two distinct scores so that rounding cannot move a set across it.
  const std::uint32_t n = 150, k = 10;
  const auto w = random_weights(n, 6);
  std::mt19937_64 rng(99);
  std::vector<double> scores;
  const int draws = 1000000;
  scores.reserve(draws);
  std::vector<std::uint32_t> pool(n);
  for (std::uint32_t i = 0; i < n; ++i) pool[i] = i;
  for (int i = 0; i < draws; ++i) {
    for (std::uint32_t j = 0; j < k; ++j) {
      std::swap(pool[j], pool[j + rng() % (n - j)]);  // bias below 2^-56
    }
    std::uint32_t set[k];
    std::copy(pool.begin(), pool.begin() + k, set);
    std::sort(set, set + k);
    double total = 0.0;
    for (std::uint32_t g : set) total += static_cast<double>(w[g]);
    double h = 0.0, best = 0.0;
    for (std::uint32_t j = 0; j < k; ++j) {
      h += static_cast<double>(w[set[j]]);
      best = std::max(best, h / total - static_cast<double>(set[j] - j) / (n - k));
    }
    scores.push_back(best);
  }
  std::sort(scores.rbegin(), scores.rend());
  const std::size_t hits = 200;  // P = 2e-4
  const double t = 0.5 * (scores[hits - 1] + scores[hits]);
  ASSERT_GT(scores[hits - 1] - scores[hits], 1e-6);
  const double brute = static_cast<double>(hits) / draws;

  // Mean log2 estimate over 8 seeds. One estimate's log2 has a standard
  // error of about 0.52 at this P with N = 101, so the mean has 0.18; the
  // brute-force count of 200 adds 0.10. 0.8 is nearly four standard errors.
  double mean_log2 = 0.0;
  for (std::uint64_t seed = 1; seed <= 8; ++seed) {
    mean_log2 += std::log2(estimate(w, k, {t}, seed, ScoreType::Pos, 101, 0.0)[0]) / 8;
  }
  EXPECT_NEAR(mean_log2, std::log2(brute), 0.8);
}

TEST(RulerPvalue, CountsTheCutPopulationAtOrOverTheScore) {
  // N = 4, scores h/20 (S = D = 20, m = 0). Level 0 cuts at 0.25 with two
  // sets above; level 1 cuts at 0.5 with three above, one of them at 0.9.
  auto entry = [](std::int64_t h, bool non_negative) {
    return LevelEntry{Gsea{20, h, 20, 0, 0}, non_negative};
  };
  auto ruler = MultilevelRuler::create(std::vector<std::int64_t>(40, 1), 4, 20);
  ruler.levels = {
      {{entry(0, true), entry(5, true)}, {entry(8, true), entry(12, false)}, Gsea{20, 5, 20, 0, 0}},
      {{entry(10, false)},
       {entry(11, true), entry(12, false), entry(18, true)},
       Gsea{20, 10, 20, 0, 0}},
  };
  const double level0 = -1.0 / 3 + -1.0 / 4;  // j = 3..4
  const double level1 = -1.0 / 4;             // j = 4
  auto from = [](int j) {
    double sum = 0.0;
    for (; j <= 4; ++j) sum += -1.0 / j;
    return sum;
  };
  struct Case {
    double t;
    ScoreType type;
    double log_p;
  };
  const Case cases[] = {
      // Reached at level 0: above (2) plus the below entry at 0.25 (a score
      // equal to the cut reaches it); one of the three is negative-signed.
      {0.25, ScoreType::Pos, from(3)},
      {0.25, ScoreType::Std, from(2)},
      {0.1, ScoreType::Neg, from(3)},
      // Passed level 0, reached at level 1: all 4 count, 2 non-negative.
      {0.3, ScoreType::Pos, level0 + from(4)},
      {0.3, ScoreType::Std, level0 + from(2)},
      // Past every level: only the last level's upper sets at or over t.
      {0.7, ScoreType::Pos, level0 + level1 + from(1)},
      {0.56, ScoreType::Pos, level0 + level1 + from(2)},
      {0.56, ScoreType::Std, level0 + level1 + from(1)},
      {0.95, ScoreType::Pos, level0 + level1 + from(1)},  // none: j from 1
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(ruler_pvalue(ruler, c.t, c.type), std::exp(c.log_p)) << c.t;
  }
  EXPECT_TRUE(std::isnan(ruler_pvalue(MultilevelRuler::create({1, 2}, 4, 1), 0.5, ScoreType::Std)));
}

TEST(FinalizeMultilevelPvalue, ScalesCapsAndFloors) {
  struct Case {
    double raw;
    std::uint64_t mode_count, permutations;
    double eps;
    double pval;
    std::optional<double> log2err;  // NaN: present but NaN
  };
  // sqrt(psi1(51) - psi1(102)) / ln 2, from mpmath, times sqrt(floor(1 - log2 p)).
  const double unit_err = 0.14390256526778217;
  const Case cases[] = {
      {1e-10, 499, 999, 1e-50, 2e-10, 0.8266573011783022},
      {0.5, 99, 999, 1e-50, 1.0, unit_err},  // above the mode fraction
      {kNaN, 99, 999, 1e-50, 1.0, unit_err},
      {1e-60, 999, 999, 1e-50, 1e-50, std::nullopt},  // floored at eps
      {0.0, 999, 999, 0.0, 0.0, kNaN},
      {1e-60, 999, 999, kNaN, 1e-60, unit_err * std::sqrt(200.0)},
  };
  for (const Case& c : cases) {
    const MultilevelPvalue r =
        finalize_multilevel_pvalue(c.raw, c.mode_count, c.permutations, c.eps, 101);
    EXPECT_DOUBLE_EQ(r.pval, c.pval) << c.raw;
    ASSERT_EQ(r.log2err.has_value(), c.log2err.has_value()) << c.raw;
    if (!c.log2err) continue;
    if (std::isnan(*c.log2err)) {
      EXPECT_TRUE(std::isnan(*r.log2err)) << c.raw;
    } else {
      EXPECT_NEAR(*r.log2err, *c.log2err, 1e-12) << c.raw;
    }
  }
}

}  // namespace
}  // namespace quenfa::multilevel
