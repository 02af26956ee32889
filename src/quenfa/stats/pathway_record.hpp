// The per-pathway record of a permutation run (classic and decor engines),
// filled stage by stage and finally turned into an EnrichmentResult.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "quenfa/stats/enrichment_statistics.hpp"

namespace quenfa::stats {

struct PathwayRecord {
  const std::string* name = nullptr;  // owned by the run's PathwayDb
  std::vector<std::size_t> hits;      // ascending ranked positions
  std::vector<double> penalties;      // decor only: one per hit, aligned with hits
  std::uint64_t size = 0;
  double es = 0.0;
  std::size_t peak = 0;
  PermutationCounters counters;  // tallies over the permuted (null) scores
  std::optional<double> nes;
  double pval = std::numeric_limits<double>::quiet_NaN();
  std::optional<double> log2err;
  std::uint64_t extreme = 0;  // permuted scores at least as extreme as es
  std::uint64_t mode = 0;     // permuted scores on the side of es
};

// How the permutation P-value step treats the edges of the two engines.
struct PermutationPvalueRules {
  // The P-value is raised to this floor (decor: eps; fmax, so NaN is no floor).
  std::optional<double> floor;
  // Whether a pathway with no permuted score on its side still gets log2err.
  bool log2err_without_side = true;
  // With multilevel refinement to follow: a pathway with fewer than 10
  // permuted scores on its side loses pval, nes and log2err, for the
  // estimator to fill in.
  bool leave_unresolved_to_multilevel = false;
};

// NES from the mean permuted score of the observed side, the permutation
// P-value min((le + 1) / (le_zero + 1), (ge + 1) / (ge_zero + 1)), the side
// counts, and log2err = sqrt(trigamma(extreme + 1) - trigamma(nperm + 1)) /
// ln 2, for every record.
void permutation_pvalues(std::vector<PathwayRecord>& records, std::uint64_t nperm,
                         ScoreType score_type, const PermutationPvalueRules& rules);

// The records as results: leading edges, BH-adjusted (denominator: every
// record), sorted by pathway name.
std::vector<EnrichmentResult> finalize_run_records(const std::vector<PathwayRecord>& records,
                                                   const std::vector<std::string>& genes,
                                                   ScoreType score_type);

}  // namespace quenfa::stats
