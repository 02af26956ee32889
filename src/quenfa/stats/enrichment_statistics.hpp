// Per-pathway statistics shared by the engines: the running-sum enrichment
// score, the leading edge, the normalised score, the Benjamini-Hochberg
// adjustment and the test that sends a P-value to the multilevel estimator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quenfa/core/enrichment_result.hpp"
#include "quenfa/core/score_type.hpp"

namespace quenfa::stats {

// Permutation counters of one pathway over the permutations run for it, with
// es_p a permuted score and es the observed one. A permuted score of 0 counts
// on both zero sides; a NaN counts nowhere.
struct PermutationCounters {
  std::uint64_t le = 0;       // es_p <= es
  std::uint64_t ge = 0;       // es_p >= es
  std::uint64_t le_zero = 0;  // es_p <= 0
  std::uint64_t ge_zero = 0;  // es_p >= 0
  double le_zero_sum = 0.0;   // sum of es_p <= 0
  double ge_zero_sum = 0.0;   // sum of es_p >= 0
};

// Counts one permuted score es_p against the observed score es.
inline void count_permutation_score(PermutationCounters& c, double es, double es_p) {
  if (es >= es_p) ++c.le;
  if (es_p >= es) ++c.ge;
  if (es_p <= 0) {
    ++c.le_zero;
    c.le_zero_sum += es_p;
  }
  if (es_p >= 0) {
    ++c.ge_zero;
    c.ge_zero_sum += es_p;
  }
}

// The counters of the side of the observed score: permutations at least as
// extreme as es, and permutations on its side of 0.
struct PermutationSide {
  std::uint64_t extreme = 0;
  std::uint64_t mode = 0;
};
PermutationSide permutation_side(const PermutationCounters& c, double es, ScoreType score_type);

struct EsPeak {
  std::size_t peak = 0;  // ranked position where the score is reached
  double es = 0.0;
};

// Running-sum enrichment score of the hits (ascending positions; k = 0,
// k = n or k < n) over a list of n ranked genes with per-rank weights w.
// Each hit steps by |w| times its penalty (penalties aligned with hits; none:
// a penalty of 1, the classic score); when every step is 0 each hit steps by
// 1/k. With every penalty 1 the score equals the classic one bit for bit.
EsPeak enrichment_score(std::span<const double> w, std::span<const std::size_t> hits, std::size_t n,
                        ScoreType score_type, std::span<const double> penalties = {});

// Which extreme of the running sum is the score: its largest top, its
// smallest bottom, or neither (std with max = -min exactly, a score of 0).
// Std takes the larger in magnitude; a NaN takes the bottom.
enum class ScoreSide { Top, Bottom, Tie };
ScoreSide score_side(double max, double min, ScoreType score_type);

// Genes of the hits on the peak's side: top-down for a positive score,
// bottom-up for a negative one.
std::vector<std::string> leading_edge(std::span<const std::size_t> hits, std::size_t peak,
                                      ScoreType score_type, const std::vector<std::string>& genes,
                                      double es);

// es divided by the mean permuted score on its side; absent when that mean is
// 0 or the side does not fit the score type.
std::optional<double> normalized_enrichment_score(double es, const PermutationCounters& c,
                                                  ScoreType score_type);

// The number of tests m of the Benjamini-Hochberg adjustment: every record
// passed (P-values that could not be computed count as tests), with
// q = p * m / rank; or only the finite P-values, with q = p / (rank / m), the
// operation order of statsmodels' multipletests(method="fdr_bh").
enum class BhDenominator { AllRecords, FinitePvalues };

// Sets padj of every record with a finite pval: the running minimum of q from
// the largest P-value down, starting at 1. Ties keep their record order.
void apply_bh_adjustment(std::span<EnrichmentResult> records, BhDenominator denominator);

// Stable sort by the bytes of the pathway name; a prefix sorts first.
void sort_records_by_pathway(std::span<EnrichmentResult> records);

// Whether a permutation P-value is too coarse for the permutations behind it:
// a = permutations at least as extreme, b = permutations on the observed side,
// permutations = their number, sample_size = the multilevel sample size.
bool should_refine_multilevel(std::uint64_t a, std::uint64_t b, std::uint64_t permutations,
                              std::uint64_t sample_size, double pval);

}  // namespace quenfa::stats
