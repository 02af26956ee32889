#include "quenfa/decor/decor_run.hpp"

#include <algorithm>
#include <cmath>

#include "quenfa/core/pathway_hits.hpp"
#include "quenfa/decor/formula_context.hpp"
#include "quenfa/decor/null_distribution.hpp"
#include "quenfa/decor/pathway_preparation.hpp"
#include "quenfa/decor/refinement.hpp"
#include "quenfa/stats/enrichment_statistics.hpp"
#include "quenfa/stats/pathway_record.hpp"

namespace quenfa::decor {

Result<std::vector<EnrichmentResult>> run(const RankedList& ranked, const PathwayDb& pathways,
                                          const DecorCache& cache, const DecorOptions& options,
                                          const DecorRunSettings& settings, std::uint64_t seed,
                                          bool multilevel) {
  if (Status valid = validate_decor_options(options); !valid) return Error{valid.error()};
  Result<DecorFormulaContext> context = make_decor_formula_context(cache, options);
  if (!context) return Error{context.error()};
  const GeneIndex index = build_gene_index(ranked.genes);

  const std::size_t n = ranked.size();
  const double eps = std::isnan(settings.eps) ? settings.eps : std::clamp(settings.eps, 0.0, 1.0);
  const std::uint64_t min_size = std::max<std::uint64_t>(1, settings.min_size);
  const std::uint64_t max_size = std::min<std::uint64_t>(settings.max_size, n == 0 ? 0 : n - 1);
  const std::uint64_t sample_size = std::max<std::uint64_t>(3, settings.sample_size);
  const PreparedStats stats = RankedList::prepare(ranked.scores, settings.gsea_param);
  const std::vector<double> weights(stats.int_weights.begin(), stats.int_weights.end());

  Result<std::vector<stats::PathwayRecord>> prepared =
      prepare_decor_pathways({pathways, cache, context.value(), index, weights, n, min_size,
                              max_size, settings.score_type});
  if (!prepared) return Error{prepared.error()};
  std::vector<stats::PathwayRecord>& kept = prepared.value();

  run_null_distribution(kept, {weights, n, settings.score_type}, settings.nperm, seed);
  stats::permutation_pvalues(
      kept, settings.nperm, settings.score_type,
      {.floor = eps, .log2err_without_side = false, .leave_unresolved_to_multilevel = multilevel});
  if (multilevel) {
    refine_decor_pvalues(kept,
                         {weights, n, settings.score_type, settings.nperm, sample_size, eps, seed});
  }
  return stats::finalize_run_records(kept, ranked.genes, settings.score_type);
}

}  // namespace quenfa::decor
