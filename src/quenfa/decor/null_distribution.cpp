#include "quenfa/decor/null_distribution.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include <oneapi/tbb/parallel_for.h>

#include "quenfa/decor/seed_fold.hpp"
#include "quenfa/random/r_streams.hpp"
#include "quenfa/runtime/run_monitor.hpp"
#include "quenfa/runtime/worker_pool.hpp"
#include "quenfa/stats/enrichment_statistics.hpp"

namespace quenfa::decor {

std::vector<DecorRuntimeSizeGroup> build_size_groups(
    const std::vector<stats::PathwayRecord>& kept) {
  std::map<std::uint64_t, std::vector<std::size_t>> by_size;
  for (std::size_t i = 0; i < kept.size(); ++i) by_size[kept[i].size].push_back(i);
  std::vector<DecorRuntimeSizeGroup> groups;
  groups.reserve(by_size.size());
  for (auto& [k, members] : by_size) {
    DecorRuntimeSizeGroup& g = groups.emplace_back();
    g.size = k;
    g.members = std::move(members);
    g.batched = g.members.size() >= kBatchedGroupMembers;
    if (!g.batched) continue;
    const std::size_t count = g.members.size();
    g.observed_es.reserve(count);
    g.penalty_matrix.resize(k * count);
    for (std::size_t j = 0; j < count; ++j) {
      const stats::PathwayRecord& work = kept[g.members[j]];
      g.observed_es.push_back(work.es);
      for (std::size_t i = 0; i < k; ++i) g.penalty_matrix[i * count + j] = work.penalties[i];
    }
  }
  return groups;
}

void tally_members_one_by_one(const DecorRuntimeSizeGroup& group,
                              const std::vector<stats::PathwayRecord>& kept,
                              const NullScoring& scoring, std::span<const std::size_t> s,
                              std::span<stats::PermutationCounters> counts) {
  for (std::size_t j = 0; j < group.members.size(); ++j) {
    const stats::PathwayRecord& work = kept[group.members[j]];
    const double null =
        stats::enrichment_score(scoring.weights, s, scoring.n, scoring.score_type, work.penalties)
            .es;
    stats::count_permutation_score(counts[j], work.es, null);
  }
}

void tally_members_batched(const DecorRuntimeSizeGroup& group, const NullScoring& scoring,
                           std::span<const std::size_t> s, BatchScratch& scratch,
                           std::span<stats::PermutationCounters> counts) {
  const std::size_t members = group.members.size();
  const std::size_t k = s.size();
  const double* matrix = group.penalty_matrix.data();
  if (k == 0 || k == scoring.n) {  // every score is 0 by definition
    for (std::size_t j = 0; j < members; ++j) {
      stats::count_permutation_score(counts[j], group.observed_es[j], 0.0);
    }
    return;
  }
  // The same operations as stats::enrichment_score, member-innermost:
  // the step sums in hit order, then the running sum with strict extremes.
  std::vector<double>& total = scratch.total;
  std::vector<double>& running = scratch.running;
  std::vector<double>& max = scratch.max;
  std::vector<double>& min = scratch.min;
  total.assign(members, 0.0);
  running.assign(members, 0.0);
  max.assign(members, -std::numeric_limits<double>::infinity());
  min.assign(members, std::numeric_limits<double>::infinity());
  for (std::size_t i = 0; i < k; ++i) {
    const double wi = std::fabs(scoring.weights[s[i]]);
    const double* row = matrix + i * members;
    for (std::size_t j = 0; j < members; ++j) total[j] += wi * row[j];
  }
  const double d = static_cast<double>(scoring.n - k);
  for (std::size_t i = 0; i < k; ++i) {
    const double wi = std::fabs(scoring.weights[s[i]]);
    const double misses_before = static_cast<double>(s[i] - i) / d;
    const double* row = matrix + i * members;
    for (std::size_t j = 0; j < members; ++j) {
      const double c = wi * row[j];
      running[j] += c;
      const double top = running[j] / total[j] - misses_before;
      const double bottom = top - c / total[j];
      max[j] = top > max[j] ? top : max[j];
      min[j] = bottom < min[j] ? bottom : min[j];
    }
  }
  std::vector<double> penalties;
  for (std::size_t j = 0; j < members; ++j) {
    double null;
    if (total[j] == 0.0) {
      // Unit steps: rare enough to score on its own.
      penalties.resize(k);
      for (std::size_t i = 0; i < k; ++i) penalties[i] = matrix[i * members + j];
      null =
          stats::enrichment_score(scoring.weights, s, scoring.n, scoring.score_type, penalties).es;
    } else {
      switch (stats::score_side(max[j], min[j], scoring.score_type)) {
        case stats::ScoreSide::Top:
          null = max[j];
          break;
        case stats::ScoreSide::Bottom:
          null = min[j];
          break;
        default:
          null = 0.0;
          break;
      }
    }
    stats::count_permutation_score(counts[j], group.observed_es[j], null);
  }
}

void for_each_null_set(std::uint64_t k, std::size_t n, std::uint64_t nperm, std::uint64_t seed,
                       const std::function<void(std::span<const std::size_t>)>& visit) {
  random::RLecuyerCmrgSeedCompat stream =
      random::RLecuyerCmrgSeedCompat::r_set_seed(size_group_seed32(k, seed));
  std::vector<std::size_t> s(k);
  for (std::uint64_t p = 0; p < nperm; ++p) {
    const std::vector<std::uint64_t> drawn = stream.sample_int_no_replace_with_kind(n, k);
    for (std::size_t i = 0; i < k; ++i) s[i] = static_cast<std::size_t>(drawn[i] - 1);
    std::sort(s.begin(), s.end());
    visit(s);
  }
}

// Null sets drawn between two looks at the run's stop flag.
constexpr std::uint64_t kSetsBetweenStopChecks = 256;

void run_null_distribution(std::vector<stats::PathwayRecord>& kept, const NullScoring& scoring,
                           std::uint64_t nperm, std::uint64_t seed) {
  if (nperm == 0 || kept.empty()) return;
  const std::vector<DecorRuntimeSizeGroup> groups = build_size_groups(kept);
  std::vector<std::vector<stats::PermutationCounters>> counts(groups.size());
  runtime::RunMonitor& run = runtime::current_run();
  run.begin_stage(runtime::stage::kDecorNull, groups.size());
  runtime::run_in_worker_pool([&] {
    oneapi::tbb::parallel_for(
        std::size_t{0}, groups.size(),
        [&](std::size_t g) {
          const DecorRuntimeSizeGroup& group = groups[g];
          std::vector<stats::PermutationCounters>& mine = counts[g];
          mine.resize(group.members.size());
          BatchScratch scratch;
          std::uint64_t visited = 0;
          for_each_null_set(group.size, scoring.n, nperm, seed,
                            [&](std::span<const std::size_t> s) {
                              if (++visited % kSetsBetweenStopChecks == 0) run.check_stop();
                              if (group.batched) {
                                tally_members_batched(group, scoring, s, scratch, mine);
                              } else {
                                tally_members_one_by_one(group, kept, scoring, s, mine);
                              }
                            });
          run.advance();
        },
        oneapi::tbb::simple_partitioner{});
  });
  for (std::size_t g = 0; g < groups.size(); ++g) {
    for (std::size_t j = 0; j < groups[g].members.size(); ++j) {
      kept[groups[g].members[j]].counters = counts[g][j];
    }
  }
}

}  // namespace quenfa::decor
