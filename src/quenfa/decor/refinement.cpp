#include "quenfa/decor/refinement.hpp"

#include <cmath>
#include <optional>

#include <oneapi/tbb/parallel_for.h>

#include "quenfa/decor/multilevel_tail.hpp"
#include "quenfa/decor/seed_fold.hpp"
#include "quenfa/multilevel/group_estimation.hpp"
#include "quenfa/runtime/run_monitor.hpp"
#include "quenfa/runtime/worker_pool.hpp"
#include "quenfa/stats/enrichment_statistics.hpp"

namespace quenfa::decor {

std::vector<std::size_t> select_for_refinement(const std::vector<stats::PathwayRecord>& kept,
                                               std::uint64_t nperm, std::uint64_t sample_size) {
  std::vector<std::size_t> selected;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const stats::PathwayRecord& work = kept[i];
    if (std::isfinite(work.pval) &&
        stats::should_refine_multilevel(work.extreme, work.mode, nperm, sample_size, work.pval)) {
      selected.push_back(i);
    }
  }
  return selected;
}

void refine_decor_pvalues(std::vector<stats::PathwayRecord>& kept,
                          const RefinementSettings& settings) {
  if (settings.nperm == 0) return;
  const std::vector<std::size_t> selected =
      select_for_refinement(kept, settings.nperm, settings.sample_size);
  const double nperm1 = static_cast<double>(settings.nperm) + 1.0;
  // The raw tail probability is over all sets; the permutation P-value is
  // over the sets on the pathway's side, a fraction denom of them.
  const auto denom_of = [&](const stats::PathwayRecord& work) {
    return (static_cast<double>(work.mode) + 1.0) / nperm1;
  };
  std::vector<std::optional<double>> raw(selected.size());
  runtime::RunMonitor& run = runtime::current_run();
  run.begin_stage(runtime::stage::kDecorRefinement, selected.size());
  runtime::run_in_worker_pool([&] {
    oneapi::tbb::parallel_for(
        std::size_t{0}, selected.size(),
        [&](std::size_t j) {
          const std::size_t i = selected[j];
          const stats::PathwayRecord& work = kept[i];
          raw[j] = run_decor_multilevel_tail(
              work.es, settings.eps * denom_of(work), settings.weights, work.penalties, settings.n,
              settings.score_type, settings.sample_size, refinement_seed32(i, settings.seed));
          run.advance();
        },
        oneapi::tbb::simple_partitioner{});
  });
  for (std::size_t j = 0; j < selected.size(); ++j) {
    stats::PathwayRecord& work = kept[selected[j]];
    // denom is at least 1 / (nperm + 1), never 0.
    if (!raw[j] || !std::isfinite(*raw[j])) continue;
    const multilevel::MultilevelPvalue final_p = multilevel::finalize_multilevel_pvalue(
        *raw[j], work.mode, settings.nperm, settings.eps, settings.sample_size);
    work.pval = final_p.pval;
    work.log2err = final_p.log2err;
  }
}

}  // namespace quenfa::decor
