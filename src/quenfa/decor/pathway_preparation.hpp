// Hits, penalties and observed score of every pathway of a decor run.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "quenfa/core/pathway.hpp"
#include "quenfa/core/pathway_hits.hpp"
#include "quenfa/core/result.hpp"
#include "quenfa/core/score_type.hpp"
#include "quenfa/decor/decor_cache.hpp"
#include "quenfa/decor/formula_context.hpp"
#include "quenfa/stats/pathway_record.hpp"

namespace quenfa::decor {

// Gene -> redundancy of one pathway's cache entry; a gene listed twice keeps
// its later score. Refers to the entry's strings.
using RedundancyMap = std::unordered_map<std::string_view, double>;
RedundancyMap pathway_redundancy_map(const DecorPathwayScores& scores);

// (ranked position, redundancy) of the pathway genes found both in the
// ranked list and in the redundancy map, ascending by position; a position
// reached twice keeps the redundancy of its first gene in GMT order.
std::vector<std::pair<std::size_t, double>> extract_decor_hits(
    const std::vector<std::string>& pathway_genes, const GeneIndex& index,
    const RedundancyMap& redundancy);

struct DecorPreparationInputs {
  const PathwayDb& pathways;
  const DecorCache& cache;
  const DecorFormulaContext& context;
  const GeneIndex& index;
  const std::vector<double>& weights;
  std::size_t n = 0;  // ranked genes
  std::uint64_t min_size = 1;
  std::uint64_t max_size = 0;
  ScoreType score_type = ScoreType::Std;
};

// The kept pathways (min_size <= hits <= max_size) in GMT order, prepared in
// parallel on the worker pool. When penalties fail for several pathways, the
// message of the first of them in GMT order is returned.
Result<std::vector<stats::PathwayRecord>> prepare_decor_pathways(const DecorPreparationInputs& in);

}  // namespace quenfa::decor
