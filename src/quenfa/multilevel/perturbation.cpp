// The perturbation step of the ruler, which dominates the run time: random
// single-gene swaps of one chunked set, each kept only if some point of the
// new set still beats the level threshold.
#include <algorithm>

#include "quenfa/multilevel/ruler.hpp"

namespace quenfa::multilevel {

namespace {

using i128 = __int128;

// ceil(a / b) for b > 0.
i128 ceil_div(i128 a, i128 b) {
  const i128 q = a / b;
  return (a % b != 0 && a > 0) ? q + 1 : q;
}

}  // namespace

// Int holds every score numerator D*h - m*S of the ruler: 64 bits when the
// weight total allows it, 128 bits otherwise.
template <class Int>
std::int32_t MultilevelRuler::perturb_sample_with(std::uint64_t k, ChunkedSample& set,
                                                  const Gsea& threshold,
                                                  random::RMt19937SeedCompat& gen) const {
  const auto n = static_cast<std::uint32_t>(gene_count());
  const auto size = static_cast<std::uint32_t>(k);
  const Int d = static_cast<Int>(n - size);
  const std::int32_t iterations = std::max(1, trunc_to_i32(static_cast<double>(k) * 0.1));
  // The threshold as the numerator D*ht - mt*St over its own weight sum St.
  const i128 threshold_numerator =
      static_cast<i128>(threshold.peak_hit_sum) * threshold.miss_count -
      static_cast<i128>(threshold.peak_misses) * threshold.weight_sum;
  const i128 threshold_sum = threshold.weight_sum;

  auto& chunks = set.chunks;
  auto chunk_of = [&](std::uint32_t g) {
    return static_cast<std::size_t>(std::upper_bound(chunk_bounds.begin(), chunk_bounds.end(), g) -
                                    chunk_bounds.begin());
  };

  // Whether some point just after a gene of the set, with weight sum s and
  // key `key`, beats the threshold. A point (h, m) beats it iff its score is
  // greater, or equal with a greater key: with f = D*h - m*s that is
  // St*f > s*nt, or St*f = s*nt and key > threshold key; so f >= f_min.
  auto beats_threshold = [&](std::int64_t s, std::uint64_t key) {
    const bool unit = (s == 0);  // all-zero sets are scored with unit weights
    const Int sum = unit ? static_cast<Int>(size) : static_cast<Int>(s);
    const i128 rhs = static_cast<i128>(sum) * threshold_numerator + (key > threshold.key ? 0 : 1);
    const Int f_min = static_cast<Int>(ceil_div(rhs, threshold_sum));
    auto weight = [&](std::uint32_t g) { return unit ? Int{1} : static_cast<Int>(ranks[g]); };
    auto chunk_weight = [&](std::size_t q) {
      return unit ? static_cast<Int>(chunks[q].size()) : static_cast<Int>(set.chunk_sums[q]);
    };

    // First the gene that passed in the last accepted move, if still present.
    const std::uint32_t hint = set.last_peak_gene;
    if (hint != ChunkedSample::kNoGene) {
      const std::size_t hq = chunk_of(hint);
      const auto& chunk = chunks[hq];
      const auto it = std::lower_bound(chunk.begin(), chunk.end(), hint);
      if (it != chunk.end() && *it == hint) {
        Int h = 0;
        std::size_t index = 0;
        for (std::size_t q = 0; q < hq; ++q) {
          h += chunk_weight(q);
          index += chunks[q].size();
        }
        for (auto g = chunk.begin(); g <= it; ++g) h += weight(*g);
        index += static_cast<std::size_t>(it - chunk.begin());
        const Int m = static_cast<Int>(hint - index);
        if (d * h - m * sum >= f_min) return true;
      }
    }

    // Then chunk by chunk; a chunk is skipped when even its best case (the
    // weight after the whole chunk, the misses before its first gene) fails.
    Int h_start = 0;
    std::size_t index_start = 0;
    for (std::size_t q = 0; q < chunks.size(); ++q) {
      const auto& chunk = chunks[q];
      if (chunk.empty()) continue;
      const Int h_end = h_start + chunk_weight(q);
      const Int m_first = static_cast<Int>(chunk.front() - index_start);
      if (d * h_end - m_first * sum >= f_min) {
        Int h = h_start;
        for (std::size_t j = 0; j < chunk.size(); ++j) {
          h += weight(chunk[j]);
          const Int m = static_cast<Int>(chunk[j] - (index_start + j));
          if (d * h - m * sum >= f_min) {
            set.last_peak_gene = chunk[j];
            return true;
          }
        }
      }
      h_start = h_end;
      index_start += chunk.size();
    }
    return false;
  };

  std::int32_t moves = 0;
  for (std::int32_t it = 0; it < iterations; ++it) {
    std::uint32_t r = random::uniform_below(gen, size);
    const std::uint32_t g = random::uniform_below(gen, n);

    std::size_t q_old = 0;
    while (r >= chunks[q_old].size()) r -= static_cast<std::uint32_t>(chunks[q_old++].size());
    const std::uint32_t old = chunks[q_old][r];

    const std::size_t q_new = chunk_of(g);
    auto& target_chunk = chunks[q_new];
    if (std::binary_search(target_chunk.begin(), target_chunk.end(), g)) {
      if (g == old) ++moves;
      continue;
    }

    chunks[q_old].erase(chunks[q_old].begin() + r);
    set.chunk_sums[q_old] -= ranks[old];
    const auto at = std::lower_bound(target_chunk.begin(), target_chunk.end(), g);
    const auto at_index = at - target_chunk.begin();
    target_chunk.insert(at, g);
    set.chunk_sums[q_new] += ranks[g];
    const std::int64_t new_sum = set.weight_sum - ranks[old] + ranks[g];
    const std::uint64_t new_key = set.key ^ gene_keys[old] ^ gene_keys[g];

    if (beats_threshold(new_sum, new_key)) {
      set.weight_sum = new_sum;
      set.key = new_key;
      ++moves;
    } else {
      // Undo in reverse order, which restores the set exactly.
      target_chunk.erase(target_chunk.begin() + at_index);
      set.chunk_sums[q_new] -= ranks[g];
      chunks[q_old].insert(chunks[q_old].begin() + r, old);
      set.chunk_sums[q_old] += ranks[old];
    }
  }
  return moves;
}

std::int32_t MultilevelRuler::perturb_sample(std::uint64_t k, ChunkedSample& set,
                                             const Gsea& threshold,
                                             random::RMt19937SeedCompat& gen) const {
  return narrow_ ? perturb_sample_with<std::int64_t>(k, set, threshold, gen)
                 : perturb_sample_with<i128>(k, set, threshold, gen);
}

}  // namespace quenfa::multilevel
