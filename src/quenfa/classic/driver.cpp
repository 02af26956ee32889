#include "quenfa/classic/driver.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include <oneapi/tbb/parallel_for.h>

#include "quenfa/classic/stages.hpp"
#include "quenfa/core/internal_fault.hpp"
#include "quenfa/core/pathway_hits.hpp"
#include "quenfa/runtime/run_monitor.hpp"
#include "quenfa/runtime/stage_timer.hpp"
#include "quenfa/runtime/worker_pool.hpp"
#include "quenfa/stats/enrichment_statistics.hpp"
#include "quenfa/stats/special_functions.hpp"

namespace quenfa::classic {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Stage B: hits and observed score of every pathway in range, in file order.
std::vector<stats::PathwayRecord> preprocess_pathways(
    const PathwayDb& pathways, const GeneIndex& index, const std::vector<double>& w, std::size_t n,
    std::uint64_t min_size, std::uint64_t max_size, ScoreType score_type) {
  std::vector<std::optional<stats::PathwayRecord>> slots(pathways.size());
  runtime::run_in_worker_pool([&] {
    oneapi::tbb::parallel_for(std::size_t{0}, pathways.size(), [&](std::size_t i) {
      std::vector<std::size_t> hits = extract_pathway_hits(pathways[i].genes, index);
      const std::uint64_t size = hits.size();
      if (size < min_size || size > max_size) return;
      const stats::EsPeak peak = stats::enrichment_score(w, hits, n, score_type);
      stats::PathwayRecord& work = slots[i].emplace();
      work.name = &pathways[i].name;
      work.hits = std::move(hits);
      work.size = size;
      work.es = peak.es;
      work.peak = peak.peak;
    });
  });
  std::vector<stats::PathwayRecord> kept;
  for (auto& slot : slots) {
    if (slot) kept.push_back(std::move(*slot));
  }
  return kept;
}

// Stage C with one kept pathway: its own sets drawn by sampling without
// replacement from an L'Ecuyer-CMRG stream per chunk.
void permute_single_pathway(stats::PathwayRecord& work, const std::vector<double>& w, std::size_t n,
                            ScoreType score_type, const std::vector<PermutationChunk>& chunks) {
  std::vector<std::size_t> set;
  for (const PermutationChunk& chunk : chunks) {
    random::RLecuyerCmrgSeedCompat stream =
        random::RLecuyerCmrgSeedCompat::r_set_seed(static_cast<std::uint32_t>(chunk.seed));
    for (std::uint64_t p = 0; p < chunk.permutations; ++p) {
      const std::vector<std::uint64_t> drawn = stream.sample_int_no_replace_with_kind(n, work.size);
      set.assign(drawn.begin(), drawn.end());
      for (std::size_t& x : set) --x;
      std::sort(set.begin(), set.end());
      const double es_p = stats::enrichment_score(w, set, n, score_type).es;
      stats::count_permutation_score(work.counters, work.es, es_p);
    }
    runtime::current_run().advance(chunk.permutations);
  }
}

}  // namespace

std::vector<PermutationChunk> permutation_chunks(std::uint64_t nperm, bool allow_multilevel,
                                                 random::RMt19937SeedCompat& stream) {
  const auto next_seed = [&] { return stream.r_unif_index_with_kind(1000000000) + 1; };
  std::vector<PermutationChunk> chunks;
  if (allow_multilevel) {
    chunks.push_back({nperm, next_seed()});
    return chunks;
  }
  const std::uint64_t group = std::max<std::uint64_t>(1000, nperm / 128 + (nperm % 128 != 0));
  for (std::uint64_t i = 0; i < nperm / group; ++i) chunks.push_back({group, next_seed()});
  if (nperm % group != 0) chunks.push_back({nperm % group, next_seed()});
  return chunks;
}

std::vector<EnrichmentResult> run(const RankedList& ranked, const PathwayDb& pathways,
                                  std::uint64_t nperm, std::uint64_t seed, double eps,
                                  double gsea_param, std::uint64_t min_size, std::uint64_t max_size,
                                  ScoreType score_type, bool allow_multilevel,
                                  std::uint64_t sample_size) {
  // Stage A: setup.
  runtime::StageTimer timer(runtime::env_flag_present("QUENFA_STAGE_TIMING"), "QUENFA_STAGE");
  const GeneIndex index = build_gene_index(ranked.genes);
  const std::size_t n = ranked.size();
  const std::uint64_t lo = std::max<std::uint64_t>(min_size, 1);
  const std::uint64_t hi = std::min<std::uint64_t>(max_size, n == 0 ? 0 : n - 1);
  const double eps_c = std::isnan(eps) ? eps : std::min(1.0, std::max(0.0, eps));
  const PreparedStats stats = RankedList::prepare(ranked.scores, gsea_param);
  const std::vector<double> w(stats.int_weights.begin(), stats.int_weights.end());
  timer.stage_done("setup");

  std::vector<stats::PathwayRecord> kept =
      preprocess_pathways(pathways, index, w, n, lo, hi, score_type);
  timer.stage_done("pathway_preprocessing");

  // Stage C: permutations; the R-style stream lives on for the refinement.
  std::optional<random::RMt19937SeedCompat> stream;
  bool simple_stage_ran = false;
  if (nperm != 0 && !kept.empty()) {
    stream = random::RMt19937SeedCompat::r_set_seed(static_cast<std::uint32_t>(seed));
    const std::vector<PermutationChunk> chunks =
        permutation_chunks(nperm, allow_multilevel, *stream);
    runtime::current_run().begin_stage(runtime::stage::kPermutations, nperm);
    if (kept.size() == 1) {
      permute_single_pathway(kept[0], w, n, score_type, chunks);
    } else {
      permute_pathway_batches(kept, w, score_type, chunks);
    }
    simple_stage_ran = true;
    timer.stage_done("simple_stage");
  }

  // Stage D: normalised score, permutation P-value and its error.
  stats::permutation_pvalues(kept, nperm, score_type,
                             {.floor = std::nullopt,
                              .log2err_without_side = true,
                              .leave_unresolved_to_multilevel = allow_multilevel});
  timer.stage_done("simple_postprocessing");

  if (allow_multilevel && nperm != 0 && !kept.empty()) {
    QUENFA_ENSURE(stream.has_value(),
                  "multilevel seed state must be present when allow_multilevel is true");
    QUENFA_ENSURE(simple_stage_ran,
                  "simple multilevel seed must be present when allow_multilevel is true");
    refine_multilevel(kept, stats.int_weights, *stream, nperm, eps_c, score_type, sample_size);
    timer.stage_done("multilevel_refinement");
  }

  std::vector<EnrichmentResult> records =
      stats::finalize_run_records(kept, ranked.genes, score_type);
  timer.stage_done("finalize_results");
  timer.total_done();
  return records;
}

}  // namespace quenfa::classic
