#include "quenfa/stats/pathway_record.hpp"

#include <cmath>
#include <numbers>

#include "quenfa/stats/special_functions.hpp"

namespace quenfa::stats {

void permutation_pvalues(std::vector<PathwayRecord>& records, std::uint64_t nperm,
                         ScoreType score_type, const PermutationPvalueRules& rules) {
  for (PathwayRecord& work : records) {
    const PermutationCounters& c = work.counters;
    work.nes = normalized_enrichment_score(work.es, c, score_type);
    if (work.nes) {
      const double lower =
          (static_cast<double>(c.le) + 1.0) / (static_cast<double>(c.le_zero) + 1.0);
      const double upper =
          (static_cast<double>(c.ge) + 1.0) / (static_cast<double>(c.ge_zero) + 1.0);
      work.pval = std::fmin(lower, upper);  // both finite: counts plus one
      if (rules.floor) work.pval = std::fmax(work.pval, *rules.floor);
    }
    const PermutationSide side = permutation_side(c, work.es, score_type);
    work.extreme = side.extreme;
    work.mode = side.mode;
    if ((rules.log2err_without_side || work.mode != 0) && std::isfinite(work.pval) && nperm != 0) {
      work.log2err = std::sqrt(trigamma(static_cast<double>(work.extreme) + 1.0) -
                               trigamma(static_cast<double>(nperm) + 1.0)) *
                     std::numbers::log2e;
    }
    if (rules.leave_unresolved_to_multilevel && work.mode < 10) {
      work.pval = std::numeric_limits<double>::quiet_NaN();
      work.nes.reset();
      work.log2err.reset();
    }
  }
}

std::vector<EnrichmentResult> finalize_run_records(const std::vector<PathwayRecord>& records,
                                                   const std::vector<std::string>& genes,
                                                   ScoreType score_type) {
  std::vector<EnrichmentResult> results;
  results.reserve(records.size());
  for (const PathwayRecord& work : records) {
    EnrichmentResult r;
    r.pathway = *work.name;
    r.size = work.size;
    r.es = work.es;
    r.nes = work.nes;
    r.pval = work.pval;
    r.log2err = work.log2err;
    r.leading_edge = leading_edge(work.hits, work.peak, score_type, genes, work.es);
    results.push_back(std::move(r));
  }
  apply_bh_adjustment(results, BhDenominator::AllRecords);
  sort_records_by_pathway(results);
  return results;
}

}  // namespace quenfa::stats
