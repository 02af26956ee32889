// The analysis entry of the library: one request in, one engine run, the
// records out. It owns the policy between the caller and the engines: the
// order in which arguments are checked, the per-engine defaults, whether the
// multilevel estimator runs, and which engine gets the request.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "quenfa/core/enrichment_result.hpp"
#include "quenfa/core/pathway.hpp"
#include "quenfa/core/result.hpp"
#include "quenfa/runtime/run_monitor.hpp"

namespace quenfa::api {

// Gene sets of an analysis: the path of a GMT file, read by run_analysis,
// or sets already in memory. Sets in memory must be writable as GMT text
// that reads back to the same sets (check_gmt_writable); the decor
// cache identifies them by the SHA-256 of that text (gmt_text).
using PathwaySource = std::variant<std::string, PathwayDb>;

// Every argument of one analysis, with the defaults of the Python entry.
// Choice names (score_type, mode, method, the decor choices) are expected
// lower-cased already; messages quote them as given here. Each engine reads
// only its own options: the others are accepted and ignored because the
// entry's signature has them (blitz reads neither eps nor sample_size, the
// classic and decor engines no blitz_* option).
struct AnalysisRequest {
  std::vector<std::string> genes;  // ranked list in the caller's order
  std::vector<double> scores;
  PathwaySource pathways;

  std::uint64_t n_perm_simple = 1000;
  std::optional<std::uint64_t> seed;
  std::uint64_t nproc = 0;  // 0: the pool's default size (blitz: 4 processes)
  std::optional<std::uint64_t> min_size;
  std::optional<std::uint64_t> max_size;
  double eps = 1e-50;
  std::string score_type = "std";
  double gsea_param = 1.0;
  std::string mode = "kelda";
  std::optional<std::uint64_t> nperm;
  std::uint64_t sample_size = 101;
  bool gpu = false;
  std::string method = "classic";

  std::optional<std::string> decor_cache;
  std::optional<std::string> decor_expression;
  std::optional<std::string> decor_preset;
  std::optional<double> decor_stringency;
  std::optional<std::string> decor_weight_formula;
  std::optional<double> decor_alpha;
  std::optional<double> decor_threshold;
  std::optional<double> decor_gamma;
  std::optional<double> decor_penalty_floor;
  double decor_scale_epsilon = 1e-12;
  std::string decor_cache_mode = "auto";
  std::string decor_correlation = "pearson";
  std::string decor_redundancy = "positive_mean";

  std::uint64_t blitz_anchors = 40;
  bool blitz_symmetric = false;
  bool blitz_center = true;
  std::uint64_t blitz_accuracy = 40;
  std::uint64_t blitz_deep_accuracy = 50;
  bool blitz_signature_cache = true;
};

// Checks the request, then runs exactly one engine: mode "blitz" the
// gamma-approximation engine, method "decor" the redundancy-discounted run,
// otherwise the classic permutation engine. Argument refusals are
// InvalidArgument errors of origin Input; a GMT file that cannot be read is
// an Io error of origin Input; engine failures have origin Engine.
// Releases nothing and needs no interpreter: safe to call from any thread.
// The engine reports its progress to `monitor` and stops at its next chunk or
// group boundary once a stop is requested there: the run then ends with an
// Interrupted error, everything freed and no cache or file changed.
Result<std::vector<EnrichmentResult>> run_analysis(AnalysisRequest request,
                                                   runtime::RunMonitor& monitor);
// As above, unobserved.
Result<std::vector<EnrichmentResult>> run_analysis(AnalysisRequest request);

}  // namespace quenfa::api
