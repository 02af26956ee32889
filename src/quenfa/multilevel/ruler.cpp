#include "quenfa/multilevel/ruler.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "quenfa/core/internal_fault.hpp"

namespace quenfa::multilevel {

namespace {

using i128 = __int128;
using u128 = unsigned __int128;

std::uint64_t magnitude(std::int64_t w) {
  return w < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(w) : static_cast<std::uint64_t>(w);
}

}  // namespace

bool statistics_less(const SetStatistics& a, const SetStatistics& b) {
  if (a.gsea.lt_cpp(b.gsea)) return true;
  if (b.gsea.lt_cpp(a.gsea)) return false;
  if (a.non_negative != b.non_negative) return !a.non_negative;
  return a.index < b.index;
}

std::int32_t trunc_to_i32(double t) {
  if (std::isnan(t)) return 0;
  if (t >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (t <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(t);
}

double neg_harmonic_sum(std::uint64_t from, std::uint64_t to) {
  double sum = 0.0;
  for (std::uint64_t j = from; j <= to; ++j) sum += -1.0 / static_cast<double>(j);
  return sum;
}

MultilevelRuler MultilevelRuler::create(std::vector<std::int64_t> weights,
                                        std::uint64_t sample_size, std::uint64_t pathway_size) {
  QUENFA_ENSURE(weights.size() < 0xFFFFFFFFu, "MultilevelRuler: at most 2^32 - 2 genes");
  QUENFA_ENSURE(pathway_size <= weights.size(), "MultilevelRuler: pathway size exceeds gene count");
  QUENFA_ENSURE(sample_size <= 0xFFFFFFFFu, "MultilevelRuler: sample size must be below 2^32");

  u128 total = 0;
  for (std::int64_t w : weights) total += magnitude(w);
  int shift = 0;
  while ((total >> shift) > static_cast<u128>(kMaxWeightTotal)) ++shift;
  for (std::int64_t& w : weights) w = static_cast<std::int64_t>(magnitude(w) >> shift);

  MultilevelRuler ruler;
  const u128 numerator_bound = static_cast<u128>(weights.size()) * (total >> shift);
  ruler.narrow_ = numerator_bound < (u128{1} << 62);
  ruler.ranks = std::move(weights);
  ruler.gene_keys.assign(ruler.ranks.size(), 0);
  ruler.sample_size = sample_size;
  ruler.pathway_size = pathway_size;
  return ruler;
}

SetStatistics MultilevelRuler::set_statistics(std::span<const std::uint32_t> genes) const {
  const std::int64_t d = static_cast<std::int64_t>(gene_count() - genes.size());
  std::int64_t s = 0;
  std::uint64_t key = 0;
  for (std::uint32_t g : genes) {
    s += ranks[g];
    key ^= gene_keys[g];
  }
  const bool unit = (s == 0);
  if (unit) s = static_cast<std::int64_t>(genes.size());
  auto weight = [&](std::uint32_t g) { return unit ? std::int64_t{1} : ranks[g]; };

  // Scores are compared as numerators h*D - m*S over the common S*D > 0.
  auto numerator = [&](std::int64_t h, std::int64_t m) {
    return static_cast<i128>(h) * d - static_cast<i128>(m) * s;
  };

  SetStatistics out;
  out.gsea = {s, 0, d, 0, key};
  i128 best = 0;      // positive peak, starting at the point (0, 0)
  i128 best_abs = 0;  // largest absolute score, starting at (0, 0)
  i128 signed_best = 0;
  std::int64_t h = 0;
  for (std::size_t i = 0; i < genes.size(); ++i) {
    const std::int64_t m = static_cast<std::int64_t>(genes[i] - i);
    const i128 before = numerator(h, m);
    h += weight(genes[i]);
    const i128 after = numerator(h, m);
    if (after > best) {
      best = after;
      out.gsea.peak_hit_sum = h;
      out.gsea.peak_misses = m;
    }
    for (i128 v : {before, after}) {
      const i128 a = v < 0 ? -v : v;
      if (a > best_abs) {
        best_abs = a;
        signed_best = v;
      }
    }
  }
  out.non_negative = signed_best >= 0;
  return out;
}

bool MultilevelRuler::resample_population(random::RMt19937SeedCompat& gen) {
  const std::size_t n_sets = samples.size();
  if (n_sets == 0) return false;
  std::vector<SetStatistics> stats(n_sets);
  for (std::size_t s = 0; s < n_sets; ++s) {
    stats[s] = set_statistics(samples[s]);
    stats[s].index = s;
  }
  std::sort(stats.begin(), stats.end(), statistics_less);

  // Cut below the median; when the median ties with the lowest entry, cut
  // after the whole lowest tie group instead.
  const Gsea median = stats[n_sets / 2].gsea;
  std::size_t c = 0;
  while (c < n_sets && stats[c].gsea.lt_cpp(median)) ++c;
  if (c == 0) {
    c = 1;
    while (c < n_sets && !stats[0].gsea.lt_cpp(stats[c].gsea)) ++c;
    if (c == n_sets) return false;
  }

  Level level;
  level.below.reserve(c);
  level.above.reserve(n_sets - c);
  for (std::size_t i = 0; i < n_sets; ++i) {
    (i < c ? level.below : level.above).push_back({stats[i].gsea, stats[i].non_negative});
  }
  level.threshold = stats[c - 1].gsea;
  levels.push_back(std::move(level));

  std::vector<std::vector<std::uint32_t>> next;
  next.reserve(n_sets);
  const auto upper = static_cast<std::uint32_t>(n_sets - c);
  for (std::size_t i = 0; i < c; ++i) {
    next.push_back(samples[stats[c + random::uniform_below(gen, upper)].index]);
  }
  for (std::size_t i = c; i < n_sets; ++i) next.push_back(std::move(samples[stats[i].index]));
  samples = std::move(next);
  return true;
}

void MultilevelRuler::place_chunk_bounds() {
  // Bound q is the population median of the gene at the position where an
  // evenly split set would start chunk q + 1.
  std::vector<std::uint32_t> column(samples.size());
  const std::size_t median = samples.size() / 2;
  std::size_t pos = 0;
  for (std::size_t q = 0; q + 1 < chunk_count; ++q) {
    pos += (pathway_size + q) / chunk_count;
    for (std::size_t s = 0; s < samples.size(); ++s) column[s] = samples[s][pos];
    std::nth_element(column.begin(), column.begin() + static_cast<std::ptrdiff_t>(median),
                     column.end());
    chunk_bounds[q] = column[median];
  }
  chunk_bounds[chunk_count - 1] = static_cast<std::uint32_t>(gene_count());
}

void MultilevelRuler::split_into_chunks() {
  chunked_.resize(samples.size());
  for (std::size_t s = 0; s < samples.size(); ++s) {
    ChunkedSample& set = chunked_[s];
    set.chunks.resize(chunk_count);
    for (auto& chunk : set.chunks) chunk.clear();
    set.chunk_sums.assign(chunk_count, 0);
    set.weight_sum = 0;
    set.key = 0;
    set.last_peak_gene = ChunkedSample::kNoGene;
    // Bounds never decrease, so the chunk of ascending genes only moves on.
    std::size_t q = 0;
    for (std::uint32_t g : samples[s]) {
      while (chunk_bounds[q] <= g) ++q;
      set.chunks[q].push_back(g);
      set.chunk_sums[q] += ranks[g];
      set.weight_sum += ranks[g];
      set.key ^= gene_keys[g];
    }
  }
}

void MultilevelRuler::join_chunks() {
  for (std::size_t s = 0; s < samples.size(); ++s) {
    auto& genes = samples[s];
    genes.clear();
    for (const auto& chunk : chunked_[s].chunks)
      genes.insert(genes.end(), chunk.begin(), chunk.end());
  }
}

void MultilevelRuler::extend(std::uint32_t seed, double target, double eps_bound,
                             const runtime::RunMonitor& run) {
  random::RMt19937SeedCompat gen = random::RMt19937SeedCompat::seed_standard(seed);
  const std::size_t n = gene_count();
  gene_keys.resize(n);
  for (std::uint64_t& key : gene_keys) key = gen.next_u32();

  samples.assign(sample_size, {});
  std::vector<std::uint64_t> drawn;
  for (auto& set : samples) {
    random::combination(0, n - 1, pathway_size, gen, drawn);
    std::sort(drawn.begin(), drawn.end());
    set.assign(drawn.begin(), drawn.end());
  }
  resample_population(gen);

  chunk_count = std::max<std::size_t>(
      1, static_cast<std::size_t>(std::sqrt(static_cast<double>(pathway_size))));
  chunk_bounds.assign(chunk_count, static_cast<std::uint32_t>(n));
  const std::int64_t scaled_target = scale_target(target);
  if (levels.empty()) return;

  const double log_bound = std::log(eps_bound);
  const std::int32_t moves_target = trunc_to_i32(
      static_cast<double>(pathway_size) * (static_cast<double>(sample_size) * move_scale) * 0.5);
  double log_p = 0.0;
  for (;;) {
    run.check_stop();
    const Gsea threshold = levels.back().threshold;
    if (reaches_target(threshold, scaled_target)) return;
    log_p += neg_harmonic_sum(levels.back().above.size() + 1, sample_size);
    if (eps_bound != 0.0 && log_p < log_bound) return;  // a NaN bound never stops

    place_chunk_bounds();
    split_into_chunks();
    if (moves_target > 0) {
      // Sweep until enough moves were made, then as many sweeps again.
      std::int64_t moves = 0;
      std::uint64_t sweeps = 0;
      do {
        for (ChunkedSample& set : chunked_)
          moves += perturb_sample(pathway_size, set, threshold, gen);
        ++sweeps;
      } while (moves < moves_target);
      for (std::uint64_t r = 0; r < sweeps; ++r) {
        for (ChunkedSample& set : chunked_) perturb_sample(pathway_size, set, threshold, gen);
      }
    }
    join_chunks();
    if (!resample_population(gen)) return;
  }
}

}  // namespace quenfa::multilevel
