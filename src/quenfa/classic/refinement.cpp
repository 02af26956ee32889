#include <cmath>
#include <map>

#include <oneapi/tbb/parallel_for.h>

#include "quenfa/classic/stages.hpp"
#include "quenfa/multilevel/group_estimation.hpp"
#include "quenfa/runtime/run_monitor.hpp"
#include "quenfa/runtime/worker_pool.hpp"

namespace quenfa::classic {

void refine_multilevel(std::vector<stats::PathwayRecord>& kept,
                       const std::vector<std::int64_t>& int_weights,
                       random::RMt19937SeedCompat& stream, std::uint64_t nperm, double eps_c,
                       ScoreType score_type, std::uint64_t sample_size) {
  // Candidates grouped by size, ascending; within a group in record order.
  std::map<std::uint64_t, std::vector<std::size_t>> by_size;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const stats::PathwayRecord& work = kept[i];
    if (std::isfinite(work.pval) &&
        stats::should_refine_multilevel(work.extreme, work.mode, nperm, sample_size, work.pval)) {
      by_size[work.size].push_back(i);
    }
  }
  std::vector<const std::vector<std::size_t>*> groups;
  std::vector<std::uint64_t> sizes;
  for (const auto& [size, members] : by_size) {
    sizes.push_back(size);
    groups.push_back(&members);
  }
  if (groups.empty()) return;

  // Index draws m, m-1, ..., 1 are consumed and discarded to keep the stream
  // aligned, then the one seed shared by every group is drawn.
  for (std::uint64_t bound = groups.size(); bound >= 1; --bound) {
    (void)stream.r_unif_index_with_kind(bound);
  }
  const std::uint64_t seed = stream.r_unif_index_with_kind(1000000000) + 1;

  std::vector<std::vector<double>> raw(groups.size());
  runtime::RunMonitor& run = runtime::current_run();
  run.begin_stage(runtime::stage::kMultilevel, groups.size());
  runtime::run_in_worker_pool([&] {
    oneapi::tbb::parallel_for(std::size_t{0}, groups.size(), [&](std::size_t g) {
      run.check_stop();
      std::vector<double> es;
      std::vector<std::uint64_t> modes;
      for (std::size_t i : *groups[g]) {
        es.push_back(kept[i].es);
        modes.push_back(kept[i].mode);
      }
      raw[g] = multilevel::estimate_multilevel_group(int_weights, sizes[g], es, modes, nperm, eps_c,
                                                     score_type, sample_size, seed, run);
      run.advance();
    });
  });

  for (std::size_t g = 0; g < groups.size(); ++g) {
    for (std::size_t j = 0; j < groups[g]->size(); ++j) {
      stats::PathwayRecord& work = kept[(*groups[g])[j]];
      const multilevel::MultilevelPvalue final_p =
          multilevel::finalize_multilevel_pvalue(raw[g][j], work.mode, nperm, eps_c, sample_size);
      work.pval = final_p.pval;
      work.log2err = final_p.log2err;
    }
  }
}

}  // namespace quenfa::classic
