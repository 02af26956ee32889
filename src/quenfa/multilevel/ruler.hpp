// The multilevel splitting ruler of one pathway size and one direction: a
// population of N random gene sets of size k that is cut at its median score
// level after level, the lower part refilled with copies of the upper part and
// every set moved by random gene swaps that never fall below the current cut.
//
// Every random draw comes from one standard-seeded MT19937 stream per
// extension, in this order: n gene keys, N subsets, the first resampling,
// then per level the perturbation sweeps (two bounded draws per iteration)
// and the resampling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "quenfa/multilevel/ordering.hpp"
#include "quenfa/random/r_streams.hpp"
#include "quenfa/runtime/run_monitor.hpp"

namespace quenfa::multilevel {

// Score point and sign of one set of the population; `index` is its position
// in the population.
struct SetStatistics {
  Gsea gsea;
  bool non_negative = true;  // the point of largest absolute score is not below 0
  std::size_t index = 0;
};

// The total order of a population: lt_cpp on the point, then false before
// true, then by index.
bool statistics_less(const SetStatistics& a, const SetStatistics& b);

struct LevelEntry {
  Gsea gsea;
  bool non_negative = true;
};

// One cut of the population, both parts in sorted order.
struct Level {
  std::vector<LevelEntry> below;
  std::vector<LevelEntry> above;  // at or over the cut
  Gsea threshold;                 // the last entry of `below`
};

// One set split by the ruler's chunk bounds into ascending ranges of genes,
// with the weight sum of every chunk and of the whole set, and the set's key.
struct ChunkedSample {
  static constexpr std::uint32_t kNoGene = 0xFFFFFFFFu;

  std::vector<std::int64_t> chunk_sums;
  std::vector<std::vector<std::uint32_t>> chunks;
  std::int64_t weight_sum = 0;
  std::uint64_t key = 0;
  // The gene whose point passed the threshold in the last accepted move; it
  // is tried first on the next one (a hint only: it never decides alone).
  std::uint32_t last_peak_gene = kNoGene;
};

// The population state is public so that tests can stage populations; create
// establishes the weight range every computation relies on.
class MultilevelRuler {
 public:
  std::vector<std::int64_t> ranks;                  // gene weights in rank order, n of them
  std::vector<std::uint64_t> gene_keys;             // one raw 32-bit draw per gene, 0 until extend
  std::vector<std::vector<std::uint32_t>> samples;  // N ascending gene sets
  std::vector<Level> levels;                        // in creation order
  std::vector<std::uint32_t> chunk_bounds;          // C bounds, the last is n
  std::uint64_t sample_size = 0;                    // N
  std::uint64_t pathway_size = 0;                   // k
  double move_scale = 1.0;
  std::size_t chunk_count = 0;  // C, set by extend

  // The ruler of weights (absolute values taken) for N sets of size k. A
  // weight total above kMaxWeightTotal, which exact scores cannot carry in
  // 128 bits, is brought under it by one common right shift of every weight.
  // Needs n < 2^32 - 1, k <= n and N < 2^32 (else an internal fault).
  static MultilevelRuler create(std::vector<std::int64_t> weights, std::uint64_t sample_size,
                                std::uint64_t pathway_size);

  std::size_t gene_count() const { return ranks.size(); }

  // Builds levels until the cut reaches `target` (a score >= 0), the level
  // probabilities fall below eps_bound (0 or NaN: never), or no new level can
  // be made. Stops with RunInterrupted between levels once `run` is stopped.
  void extend(std::uint32_t seed, double target, double eps_bound, const runtime::RunMonitor& run);

  // Sorts the population, appends the level at its median cut and renews the
  // population from the upper part. Returns false, with nothing changed and
  // nothing drawn, when every set is equal in score and key.
  bool resample_population(random::RMt19937SeedCompat& gen);

  // max(1, trunc(k/10)) random single-gene swaps of one set, each kept only if
  // the set still beats `threshold`. Returns the number of moves counted.
  std::int32_t perturb_sample(std::uint64_t k, ChunkedSample& set, const Gsea& threshold,
                              random::RMt19937SeedCompat& gen) const;

  // Score point, sign and key of one ascending gene set (index 0). A set whose
  // genes all weigh 0 is scored with every gene weighing 1, as the observed
  // scores are, so that every point has a positive weight sum.
  SetStatistics set_statistics(std::span<const std::uint32_t> genes) const;

 private:
  // Whether every score numerator D*h - m*S of this ruler fits 63 bits.
  bool narrow_ = false;
  // The population split into chunks during the sweeps of one level.
  std::vector<ChunkedSample> chunked_;

  void place_chunk_bounds();
  void split_into_chunks();
  void join_chunks();
  template <class Int>
  std::int32_t perturb_sample_with(std::uint64_t k, ChunkedSample& set, const Gsea& threshold,
                                   random::RMt19937SeedCompat& gen) const;
};

// t truncated toward zero to a signed 32-bit integer, saturating (NaN gives 0).
std::int32_t trunc_to_i32(double t);

// Sum of -1/j for j = from..to, accumulated from 0 in ascending j (0 when
// from > to). Level probabilities enter log P only through these sums.
double neg_harmonic_sum(std::uint64_t from, std::uint64_t to);

}  // namespace quenfa::multilevel
