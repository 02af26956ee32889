#include "quenfa/blitz/engine.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include <oneapi/tbb/enumerable_thread_specific.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/task_arena.h>

#include "quenfa/blitz/calibration.hpp"
#include "quenfa/blitz/compat/numpy_pairwise_sum.hpp"
#include "quenfa/blitz/model_cache.hpp"
#include "quenfa/blitz/scoring.hpp"
#include "quenfa/core/internal_fault.hpp"
#include "quenfa/runtime/run_monitor.hpp"
#include "quenfa/runtime/stage_timer.hpp"
#include "quenfa/runtime/worker_pool.hpp"
#include "quenfa/stats/enrichment_statistics.hpp"

namespace quenfa::blitz {

namespace {

Status validate_options(const RankedList& ranked, const BlitzOptions& o) {
  if (ranked.genes.empty()) return Error{"blitz mode requires at least one ranked gene."};
  if (o.permutations == 0) return Error{"blitz permutations must be greater than 0."};
  if (o.anchors == 0) return Error{"blitz anchors must be greater than 0."};
  if (o.min_size == 0) return Error{"blitz minSize must be greater than 0."};
  if (o.max_size == 0) return Error{"blitz maxSize must be greater than 0."};
  if (o.processes == 0) return Error{"blitz processes must be greater than 0."};
  return ok_status();
}

// The five model curves at every pathway size in [min_size, K], K the
// smaller of max_size and the largest cleaned size; indexed by size.
std::vector<std::optional<BlitzModelParams>> parameter_table(
    const BlitzModel& model, const std::vector<CleanedPathway>& cleaned, std::uint64_t min_size,
    std::uint64_t largest, std::uint64_t max_size) {
  const std::uint64_t k_max = std::min(max_size, largest);
  std::vector<std::optional<BlitzModelParams>> table(k_max + 1);
  for (const CleanedPathway& p : cleaned) {
    const std::uint64_t s = p.hits.size();
    if (s < min_size || s > k_max || table[s]) continue;
    const double x = static_cast<double>(s);
    double ratio = model.pos_ratio.at(x);
    if (ratio < 0) ratio = 0;
    if (ratio > 1) ratio = 1;  // NaN stays NaN
    table[s] = BlitzModelParams{model.alpha_pos.at(x), model.beta_pos.at(x), ratio,
                                model.alpha_neg.at(x), model.beta_neg.at(x)};
  }
  return table;
}

struct ScoredBatch {
  std::vector<EnrichmentResult> records;
  std::uint64_t gamma_cdf_calls = 0;
  std::uint64_t gamma_fallback_calls = 0;
};

// Scores the kept pathways, on the calling thread for one process or on a
// pool built for this call; results in kept order, the first error returned.
Result<ScoredBatch> score_blitz_pathways(const BlitzSignature& signature,
                                         const std::vector<const CleanedPathway*>& kept,
                                         const std::vector<const BlitzModelParams*>& params,
                                         const BlitzOptions& options) {
  std::vector<std::optional<Result<ScoredBlitzPathway>>> slots(kept.size());
  runtime::RunMonitor& run = runtime::current_run();
  run.begin_stage(runtime::stage::kScoring, kept.size());
  if (options.processes == 1) {
    BlitzScoreScratch scratch;
    for (std::size_t i = 0; i < kept.size(); ++i) {
      slots[i] =
          score_cleaned_pathway(signature, *kept[i], *params[i], options.deep_accuracy, scratch);
      if (!slots[i]->ok()) return Error{slots[i]->error()};
      run.advance();
    }
  } else {
    // More threads than the process allows would run as that many anyway, and
    // oneTBB would warn about it.
    const auto threads = static_cast<std::size_t>(std::min<std::uint64_t>(
        {options.processes, runtime::thread_cap(), runtime::thread_limit()}));
    if (Status st = runtime::check_threads_can_start(threads); !st) return Error{st.error()};
    oneapi::tbb::task_arena pool(static_cast<int>(threads));
    oneapi::tbb::enumerable_thread_specific<BlitzScoreScratch> scratch;
    pool.execute([&] {
      oneapi::tbb::parallel_for(std::size_t{0}, kept.size(), [&](std::size_t i) {
        slots[i] = score_cleaned_pathway(signature, *kept[i], *params[i], options.deep_accuracy,
                                         scratch.local());
        run.advance();
      });
    });
  }
  ScoredBatch batch;
  batch.records.reserve(kept.size());
  for (auto& slot : slots) {
    if (!slot->ok()) return Error{slot->error()};
    ScoredBlitzPathway& scored = slot->value();
    batch.gamma_cdf_calls += scored.gamma_cdf_calls;
    batch.gamma_fallback_calls += scored.gamma_fallback_calls;
    batch.records.push_back(std::move(scored.record));
  }
  return batch;
}

}  // namespace

Result<std::vector<EnrichmentResult>> run(const RankedList& ranked, const PathwayDb& pathways,
                                          const BlitzOptions& options) {
  if (Status st = validate_options(ranked, options); !st) return Error{st.error()};
  runtime::StageTimer timer(runtime::env_flag_present("QUENFA_BLITZ_TIMINGS"),
                            "QUENFA_BLITZ_TIMING");
  const BlitzSignature signature = prepare_signature(ranked, options.center);
  // Every score of the engine is a ratio of partial sums of these values:
  // when their sum overflows, no score is meaningful.
  if (!std::isfinite(compat::numpy_pairwise_sum_f64(signature.abs_scores))) {
    return Error{ErrorKind::InvalidArgument,
                 "blitz needs scores whose absolute values, after centring, sum to a finite "
                 "number; scale them down."};
  }
  timer.stage_done("prepare_signature");
  const std::vector<CleanedPathway> cleaned = clean_pathways(signature, pathways);
  timer.stage_done("clean_pathways");
  if (cleaned.empty()) return std::vector<EnrichmentResult>{};

  std::uint64_t largest = 1;
  for (const CleanedPathway& p : cleaned) largest = std::max<std::uint64_t>(largest, p.hits.size());
  const auto calibrate = [&] { return estimate_model(signature, largest, options); };
  BlitzModel model;
  bool cache_hit = false;
  if (options.signature_cache) {
    auto cached = cached_blitz_model(blitz_model_cache_key(signature, largest, options), calibrate);
    if (!cached) return Error{cached.error()};
    model = std::move(cached.value().model);
    cache_hit = cached.value().cache_hit;
  } else {
    auto fresh = calibrate();
    if (!fresh) return Error{fresh.error()};
    model = std::move(fresh).value();
  }
  timer.stage_done("estimate_model");
  timer.counter("model_cache_hit", cache_hit ? 1 : 0);

  const auto table = parameter_table(model, cleaned, options.min_size, largest, options.max_size);
  timer.stage_done("model_param_cache");

  std::vector<const CleanedPathway*> kept;
  std::vector<const BlitzModelParams*> params;
  for (const CleanedPathway& p : cleaned) {
    const std::uint64_t s = p.hits.size();
    if (s < options.min_size || s > options.max_size) continue;
    QUENFA_ENSURE(s < table.size() && table[s].has_value(),
                  "model parameters should be cached for every kept size");
    kept.push_back(&p);
    params.push_back(&*table[s]);
  }
  auto scored = score_blitz_pathways(signature, kept, params, options);
  if (!scored) return Error{scored.error()};
  timer.stage_done("final_es_leading_edge_gamma");
  timer.counter("gamma_cdf_calls", scored.value().gamma_cdf_calls);
  timer.counter("gamma_fallback_calls", scored.value().gamma_fallback_calls);

  std::vector<EnrichmentResult> records = std::move(scored.value().records);
  stats::apply_bh_adjustment(records, stats::BhDenominator::FinitePvalues);
  std::stable_sort(records.begin(), records.end(),
                   [](const EnrichmentResult& a, const EnrichmentResult& b) {
                     if (a.pval < b.pval) return true;
                     if (b.pval < a.pval) return false;
                     if (std::isnan(a.pval) != std::isnan(b.pval)) return std::isnan(b.pval);
                     return a.pathway < b.pathway;
                   });
  timer.stage_done("bh_and_sort");
  return records;
}

}  // namespace quenfa::blitz
