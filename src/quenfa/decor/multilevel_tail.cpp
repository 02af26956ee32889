#include "quenfa/decor/multilevel_tail.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "quenfa/random/r_streams.hpp"
#include "quenfa/stats/enrichment_statistics.hpp"

namespace quenfa::decor {

namespace {

struct DecorTailSample {
  std::vector<std::size_t> genes;  // k distinct positions, ascending
  double value = 0.0;              // score, negated when es < 0
};

// The inputs every sample of one estimation is scored with.
struct TailScoring {
  std::span<const double> weights;
  std::span<const double> penalties;
  std::size_t n = 0;
  ScoreType score_type = ScoreType::Std;
  bool negate = false;

  double value(std::span<const std::size_t> genes) const {
    const double s = stats::enrichment_score(weights, genes, n, score_type, penalties).es;
    return negate ? -s : s;
  }
};

// -(1/from + 1/(from + 1) + ... + 1/to), summed from 0.0 in ascending order.
double negative_harmonic(std::uint64_t from, std::uint64_t to) {
  double sum = 0.0;
  for (std::uint64_t g = from; g <= to; ++g) sum += -1.0 / static_cast<double>(g);
  return sum;
}

std::uint64_t saturating_mul(std::uint64_t a, std::uint64_t b) {
  std::uint64_t product;
  return __builtin_mul_overflow(a, b, &product) ? std::numeric_limits<std::uint64_t>::max()
                                                : product;
}

// One Metropolis step of a copy: draws a hit position, then a gene; the set
// with that hit replaced by the gene becomes the copy when it still scores
// at least `cut`. A gene already in the set elsewhere leaves it unchanged.
// The proposal is symmetric, so the walk keeps the uniform distribution over
// the sets at or above the cut. Returns whether the swap was accepted
// (drawing the gene already at `pos` counts as accepted).
bool attempt_swap(DecorTailSample& sample, double cut, const TailScoring& scoring,
                  random::RMt19937SeedCompat& g, std::vector<std::size_t>& candidate) {
  const std::size_t k = sample.genes.size();
  const std::uint32_t pos = random::uniform_below(g, static_cast<std::uint32_t>(k));
  const std::size_t old = sample.genes[pos];
  const std::size_t gene = random::uniform_below(g, static_cast<std::uint32_t>(scoring.n));
  if (gene != old && std::binary_search(sample.genes.begin(), sample.genes.end(), gene)) {
    return false;
  }
  // The set with `old` replaced by `gene`, still ascending.
  candidate.assign(sample.genes.begin(), sample.genes.end());
  candidate.erase(candidate.begin() + pos);
  candidate.insert(std::lower_bound(candidate.begin(), candidate.end(), gene), gene);
  const double v = scoring.value(candidate);
  if (v < cut) return false;
  sample.genes.swap(candidate);
  sample.value = v;
  return true;
}

// Moves the whole population by sweeps: each sweep visits the copies in
// order and makes max(1, k/10) attempts on each. Sweeps go on until, at the
// end of one, the accepted total reaches N x max(1, k/2); the R sweeps made
// so far are then followed by R more, so that every copy makes the same
// number of attempts, fixed by the population as a whole rather than by its
// own outcomes (stopping each copy after a fixed number of acceptances would
// favour sets with many admissible neighbours, the high-scoring ones).
// Returns false, leaving the population half-moved, when the total is not
// reached within the sweeps that give each copy 16 x max(1, k/2) x max(k, 8)
// attempts: the population cannot move.
bool move_population(std::vector<DecorTailSample>& population, double cut,
                     const TailScoring& scoring, random::RMt19937SeedCompat& g,
                     std::vector<std::size_t>& candidate) {
  const std::uint64_t k = scoring.penalties.size();
  const std::uint64_t per_sweep = std::max<std::uint64_t>(1, k / 10);
  const std::uint64_t moves = std::max<std::uint64_t>(1, k / 2);
  const std::uint64_t wanted = saturating_mul(population.size(), moves);
  const std::uint64_t attempts_allowed =
      saturating_mul(saturating_mul(16, moves), std::max<std::uint64_t>(k, 8));
  const std::uint64_t sweeps_allowed =
      attempts_allowed / per_sweep + (attempts_allowed % per_sweep != 0 ? 1 : 0);
  std::uint64_t accepted = 0;
  const auto sweep = [&] {
    for (DecorTailSample& copy : population) {
      for (std::uint64_t a = 0; a < per_sweep; ++a) {
        accepted += attempt_swap(copy, cut, scoring, g, candidate) ? 1 : 0;
      }
    }
  };
  std::uint64_t sweeps = 0;
  while (accepted < wanted) {
    if (sweeps == sweeps_allowed) return false;
    sweep();
    ++sweeps;
  }
  for (std::uint64_t r = 0; r < sweeps; ++r) sweep();
  return true;
}

}  // namespace

std::optional<double> run_decor_multilevel_tail(double es, double eps_bound,
                                                std::span<const double> weights,
                                                std::span<const double> penalties, std::size_t n,
                                                ScoreType score_type, std::uint64_t sample_size,
                                                std::uint32_t seed32) {
  const std::size_t k = penalties.size();
  if (k == 0 || k >= n || es == 0.0 || !std::isfinite(es)) return 1.0;

  const TailScoring scoring{weights, penalties, n, score_type, es < 0};
  const double target = std::fabs(es);
  const double log_bound = std::log(eps_bound);
  const std::uint64_t population_size = std::max<std::uint64_t>(3, sample_size);
  random::RMt19937SeedCompat g = random::RMt19937SeedCompat::seed_standard(seed32);

  std::vector<DecorTailSample> population(population_size);
  std::vector<std::uint64_t> drawn;
  for (DecorTailSample& sample : population) {
    random::combination(0, n - 1, k, g, drawn);
    sample.genes.assign(drawn.begin(), drawn.end());
    std::sort(sample.genes.begin(), sample.genes.end());
    sample.value = scoring.value(sample.genes);
  }

  const auto by_value = [](const DecorTailSample& a, const DecorTailSample& b) {
    return a.value < b.value;
  };
  const auto value_below = [](const DecorTailSample& s, double v) { return s.value < v; };
  double total = 0.0;
  double previous_cut = -std::numeric_limits<double>::infinity();
  std::vector<DecorTailSample> next(population_size);
  std::vector<std::size_t> candidate;
  for (std::uint64_t cuts = 0;;) {
    std::stable_sort(population.begin(), population.end(), by_value);
    const double median = population[population_size / 2].value;
    if (!std::isfinite(median)) return std::nullopt;

    if (median >= target) {
      const auto reaching = static_cast<std::uint64_t>(
          population.end() -
          std::lower_bound(population.begin(), population.end(), target, value_below));
      if (reaching == 0) return std::nullopt;
      return std::min(1.0, std::exp(total + negative_harmonic(reaching, population_size)));
    }

    auto below = static_cast<std::uint64_t>(
        std::lower_bound(population.begin(), population.end(), median, value_below) -
        population.begin());
    if (below == 0) {
      // The median is the smallest value: cut above the run of equal minima.
      const double first = population[0].value;
      const auto differs = std::find_if(population.begin(), population.end(),
                                        [&](const DecorTailSample& s) { return s.value != first; });
      if (differs == population.end()) return std::nullopt;
      below = static_cast<std::uint64_t>(differs - population.begin());
    }
    const double cut = population[below - 1].value;
    if (cut <= previous_cut) return std::nullopt;

    const double h = total + negative_harmonic(population_size - below + 1, population_size);
    if (eps_bound > 0 && h < log_bound) return std::min(1.0, std::exp(h));
    total = h;
    const std::uint64_t survivors = population_size - below;
    ++cuts;

    for (DecorTailSample& copy : next) {
      const std::uint32_t pick = random::uniform_below(g, static_cast<std::uint32_t>(survivors));
      copy = population[below + pick];
    }
    population.swap(next);
    if (!move_population(population, cut, scoring, g, candidate)) return std::nullopt;
    previous_cut = cut;
    if (cuts == kMaxTailCuts) return std::nullopt;
  }
}

}  // namespace quenfa::decor
