// Permutation counters of one chunk for many pathways at once, by one of
// three strategies: sequential, exact parallel (the same draws, size groups
// counted in parallel, identical counters) and an opt-in fast one whose tasks
// draw from generators of their own.
#include "quenfa/classic/batch_permutation_counts.hpp"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <numeric>

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/parallel_reduce.h>
#include <oneapi/tbb/partitioner.h>

#include "quenfa/classic/cumulative_prefix_scores.hpp"
#include "quenfa/core/internal_fault.hpp"
#include "quenfa/random/r_streams.hpp"
#include "quenfa/random/splitmix64.hpp"
#include "quenfa/runtime/run_monitor.hpp"
#include "quenfa/runtime/worker_pool.hpp"

namespace quenfa::classic {

namespace {

// Permutations scored before their size groups are counted; bounds the score
// buffer while keeping the parallel counting coarse-grained.
constexpr std::uint64_t kBatchPermutations = 4096;
// Permutations scored between two looks at the run's stop flag.
constexpr std::size_t kDrawsBetweenStopChecks = 256;
constexpr std::size_t kMinParallelPathways = 128;
constexpr std::size_t kFastTasksPerThread = 8;

std::uint32_t low32(std::uint64_t x) {
  return static_cast<std::uint32_t>(x);
}

// Checks one chunk's inputs and returns K, the largest pathway size (0 when
// there is no pathway).
std::size_t largest_size(const BatchInputs& in) {
  QUENFA_ENSURE(in.sizes.size() == in.es.size(), "batch counts: sizes and scores differ in length");
  QUENFA_ENSURE(in.weights.size() <= 0xFFFFFFFFu, "batch counts: too many ranked genes");
  const std::size_t k = in.sizes.empty() ? 0 : *std::max_element(in.sizes.begin(), in.sizes.end());
  QUENFA_ENSURE(k <= in.weights.size(), "batch counts: a pathway is larger than the ranked list");
  return k;
}

// Scores permutations and counts them per pathway, exactly in permutation
// order. A size group's permuted scores are the same for all its pathways, so
// its zero-side counters and sums are kept once per group.
class ExactCounter {
 public:
  // Counts each scored batch as done in `run`, which may stop it between
  // draws.
  ExactCounter(const BatchInputs& in, const std::vector<SizeGroup>& groups,
               runtime::RunMonitor& run)
      : in_(in), groups_(groups), run_(run), acc_(in.sizes.size()), zero_(groups.size()) {}

  // Scores `count` permutations, each drawn into the sample by draw(sample).
  template <class Draw>
  void run(std::uint64_t count, Draw&& draw, bool parallel_groups) {
    stride_ = static_cast<std::size_t>(std::min(count, kBatchPermutations));
    scores_.resize(groups_.size() * stride_);
    for (std::uint64_t done = 0; done < count;) {
      const auto len = static_cast<std::size_t>(std::min(count - done, kBatchPermutations));
      for (std::size_t i = 0; i < len; ++i) {
        if (i % kDrawsBetweenStopChecks == 0) run_.check_stop();
        draw(sample_);
        stat_.compute(in_.weights, sample_, in_.score_type, 1.0, stats_);
        for (std::size_t g = 0; g < groups_.size(); ++g) {
          scores_[g * stride_ + i] = stats_[groups_[g].stats_index];
        }
      }
      if (parallel_groups) {
        runtime::run_in_worker_pool([&] {
          oneapi::tbb::parallel_for(oneapi::tbb::blocked_range<std::size_t>(0, groups_.size()),
                                    [&](const oneapi::tbb::blocked_range<std::size_t>& r) {
                                      for (std::size_t g = r.begin(); g < r.end(); ++g) {
                                        count_group(g, len);
                                      }
                                    });
        });
      } else {
        for (std::size_t g = 0; g < groups_.size(); ++g) count_group(g, len);
      }
      done += len;
      run_.advance(len);
    }
  }

  BatchCounts result() const {
    BatchCounts out = empty_batch_counts(acc_.size());
    for (std::size_t g = 0; g < groups_.size(); ++g) {
      for (std::size_t d : groups_[g].pathways) {
        out.le[d] = acc_[d].le;
        out.ge[d] = acc_[d].ge;
        out.le_zero[d] = zero_[g].le_zero;
        out.ge_zero[d] = zero_[g].ge_zero;
        out.le_zero_sum[d] = zero_[g].le_zero_sum;
        out.ge_zero_sum[d] = zero_[g].ge_zero_sum;
      }
    }
    return out;
  }

 private:
  // Writes only the group's own counters and its pathways' accumulators.
  void count_group(std::size_t g, std::size_t len) {
    const double* es_p = &scores_[g * stride_];
    PathwayAcc& zero = zero_[g];
    for (std::size_t i = 0; i < len; ++i) {
      const double v = es_p[i];  // a NaN counts nowhere
      if (v <= 0) {
        ++zero.le_zero;
        zero.le_zero_sum += v;
      }
      if (v >= 0) {
        ++zero.ge_zero;
        zero.ge_zero_sum += v;
      }
    }
    for (std::size_t d : groups_[g].pathways) {
      const double es = in_.es[d];
      std::uint64_t le = 0, ge = 0;
      for (std::size_t i = 0; i < len; ++i) {
        le += es >= es_p[i];
        ge += es_p[i] >= es;
      }
      acc_[d].le += le;
      acc_[d].ge += ge;
    }
  }

  const BatchInputs& in_;
  const std::vector<SizeGroup>& groups_;
  runtime::RunMonitor& run_;
  std::vector<PathwayAcc> acc_;   // per pathway: le, ge
  std::vector<PathwayAcc> zero_;  // per size group: the zero-side counters
  std::size_t stride_ = 0;
  std::vector<double> scores_;  // [group][permutation of the batch]
  std::vector<std::uint64_t> sample_;
  std::vector<double> stats_;
  CumulativeStat stat_;
};

// Strategies 1 and 2: K-subsets combination(1, n, K) from the chunk's
// standard-seeded generator, all drawn on the calling thread.
BatchCounts exact_batch_counts(const BatchInputs& in, std::uint64_t permutations,
                               std::uint64_t chunk_seed, bool parallel_groups) {
  const std::size_t k = largest_size(in);
  if (in.sizes.empty() || permutations == 0) return empty_batch_counts(in.sizes.size());
  const std::vector<SizeGroup> groups = grouped_score_indices(in.sizes);
  auto generator = random::RMt19937SeedCompat::seed_standard(low32(chunk_seed));
  const std::uint64_t n = in.weights.size();
  ExactCounter counter(in, groups, runtime::current_run());
  counter.run(
      permutations,
      [&](std::vector<std::uint64_t>& sample) { random::combination(1, n, k, generator, sample); },
      parallel_groups);
  return counter.result();
}

// SplitMix64 step and output function over (2 i) XOR chunk seed XOR start.
std::uint64_t fast_task_seed(std::uint64_t task, std::uint64_t chunk_seed, std::uint64_t start) {
  return random::splitmix64_mix(((2 * task) ^ chunk_seed ^ start) + random::kSplitMix64Increment);
}

// The K-subset draw of one fast task: a partial Fisher-Yates shuffle of 1..n
// when K > n/2, otherwise rejection of already marked values.
class FastSampler {
 public:
  FastSampler(std::uint64_t seed, std::uint64_t n, std::size_t k)
      : generator_(random::RMt19937SeedCompat::seed_standard(low32(seed))), n_(n), k_(k) {}

  void operator()(std::vector<std::uint64_t>& sample) {
    const auto n32 = static_cast<std::uint32_t>(n_);
    if (k_ > n_ / 2) {
      population_.resize(n_);
      std::iota(population_.begin(), population_.end(), std::uint64_t{1});
      for (std::size_t r = k_; r-- > 0;) {
        const std::size_t j =
            r + random::uniform_below(generator_, n32 - static_cast<std::uint32_t>(r));
        std::swap(population_[r], population_[j]);
      }
      sample.assign(population_.begin(), population_.begin() + static_cast<std::ptrdiff_t>(k_));
      return;
    }
    marks_.start_generation(n_);
    sample.clear();
    while (sample.size() < k_) {
      const std::uint32_t x = random::uniform_below(generator_, n32);
      if (marks_.taken(x)) continue;
      marks_.mark(x);
      sample.push_back(std::uint64_t{x} + 1);
    }
  }

 private:
  random::RMt19937SeedCompat generator_;
  std::uint64_t n_;
  std::size_t k_;
  random::CombinationMarks marks_;
  std::vector<std::uint64_t> population_;
};

}  // namespace

BatchCounts empty_batch_counts(std::size_t pathways) {
  BatchCounts c;
  c.le.assign(pathways, 0);
  c.ge.assign(pathways, 0);
  c.le_zero.assign(pathways, 0);
  c.ge_zero.assign(pathways, 0);
  c.le_zero_sum.assign(pathways, 0.0);
  c.ge_zero_sum.assign(pathways, 0.0);
  return c;
}

BatchCounts merge_batch_counts(const BatchCounts& a, const BatchCounts& b) {
  const std::size_t m = a.le.size();
  QUENFA_ENSURE(b.le.size() == m, "merge_batch_counts: different numbers of pathways");
  BatchCounts out = empty_batch_counts(m);
  for (std::size_t d = 0; d < m; ++d) {
    out.le[d] = a.le[d] + b.le[d];
    out.ge[d] = a.ge[d] + b.ge[d];
    out.le_zero[d] = a.le_zero[d] + b.le_zero[d];
    out.ge_zero[d] = a.ge_zero[d] + b.ge_zero[d];
    out.le_zero_sum[d] = a.le_zero_sum[d] + b.le_zero_sum[d];
    out.ge_zero_sum[d] = a.ge_zero_sum[d] + b.ge_zero_sum[d];
  }
  return out;
}

std::vector<SizeGroup> grouped_score_indices(std::span<const std::size_t> sizes) {
  std::map<std::size_t, std::vector<std::size_t>> by_size;
  for (std::size_t d = 0; d < sizes.size(); ++d) {
    QUENFA_ENSURE(sizes[d] >= 1, "grouped_score_indices: a pathway of size 0");
    by_size[sizes[d]].push_back(d);
  }
  std::vector<SizeGroup> groups;
  groups.reserve(by_size.size());
  for (auto& [size, pathways] : by_size) groups.push_back({size - 1, std::move(pathways)});
  return groups;
}

BatchCounts batch_permutation_counts_f64(const BatchInputs& in, std::uint64_t permutations,
                                         std::uint64_t chunk_seed) {
  return exact_batch_counts(in, permutations, chunk_seed, false);
}

BatchCounts batch_permutation_counts_f64_thread_invariant_parallel(const BatchInputs& in,
                                                                   std::uint64_t permutations,
                                                                   std::uint64_t chunk_seed) {
  return exact_batch_counts(in, permutations, chunk_seed, true);
}

BatchCounts batch_permutation_counts_f64_parallel(const BatchInputs& in, std::uint64_t permutations,
                                                  std::uint64_t chunk_seed) {
  const auto threads = static_cast<std::size_t>(runtime::worker_pool_size());
  return batch_permutation_counts_f64_parallel(in, permutations, chunk_seed, threads);
}

BatchCounts batch_permutation_counts_f64_parallel(const BatchInputs& in, std::uint64_t permutations,
                                                  std::uint64_t chunk_seed,
                                                  std::size_t pool_threads) {
  const std::size_t k = largest_size(in);
  const std::size_t pathways = in.sizes.size();
  if (pathways == 0 || permutations == 0) return empty_batch_counts(pathways);
  const std::vector<SizeGroup> groups = grouped_score_indices(in.sizes);
  const std::uint64_t n = in.weights.size();
  runtime::RunMonitor& run = runtime::current_run();  // the tasks run on other threads
  return runtime::run_in_worker_pool([&] {
    const std::uint64_t threads = std::max<std::size_t>(pool_threads, 1);
    const std::uint64_t tasks =
        std::min<std::uint64_t>(threads * kFastTasksPerThread, permutations);
    const std::uint64_t base = permutations / tasks, extra = permutations % tasks;
    auto run_task = [&](std::uint64_t i) {
      const std::uint64_t count = base + (i < extra ? 1 : 0);
      const std::uint64_t start = i * base + std::min(i, extra);
      FastSampler sampler(fast_task_seed(i, chunk_seed, start), n, k);
      ExactCounter counter(in, groups, run);
      counter.run(count, sampler, false);
      return counter.result();
    };
    // A fixed reduction tree over the tasks: the float sums depend on the
    // number of tasks (the pool size), never on scheduling.
    return oneapi::tbb::parallel_deterministic_reduce(
        oneapi::tbb::blocked_range<std::uint64_t>(0, tasks, 1), empty_batch_counts(pathways),
        [&](const oneapi::tbb::blocked_range<std::uint64_t>& r, BatchCounts acc) {
          for (std::uint64_t i = r.begin(); i < r.end(); ++i)
            acc = merge_batch_counts(acc, run_task(i));
          return acc;
        },
        merge_batch_counts, oneapi::tbb::simple_partitioner());
  });
}

BatchCounts batch_counts_for_chunk(const BatchInputs& in, std::uint64_t permutations,
                                   std::uint64_t chunk_seed) {
  const std::size_t threads = runtime::worker_pool_size();
  if (threads < 2 || in.sizes.size() < kMinParallelPathways) {
    return batch_permutation_counts_f64(in, permutations, chunk_seed);
  }
  if (std::getenv("QUENFA_FAST_NONEXACT_SIMPLE") != nullptr) {
    return batch_permutation_counts_f64_parallel(in, permutations, chunk_seed);
  }
  return batch_permutation_counts_f64_thread_invariant_parallel(in, permutations, chunk_seed);
}

}  // namespace quenfa::classic
