#include "quenfa/decor/pathway_preparation.hpp"

#include <algorithm>
#include <optional>

#include <oneapi/tbb/parallel_for.h>

#include "quenfa/runtime/worker_pool.hpp"
#include "quenfa/stats/enrichment_statistics.hpp"

namespace quenfa::decor {

RedundancyMap pathway_redundancy_map(const DecorPathwayScores& scores) {
  RedundancyMap map;
  const std::size_t count = std::min(scores.genes.size(), scores.redundancy.size());
  map.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    map.insert_or_assign(scores.genes[i], static_cast<double>(scores.redundancy[i]));
  }
  return map;
}

std::vector<std::pair<std::size_t, double>> extract_decor_hits(
    const std::vector<std::string>& pathway_genes, const GeneIndex& index,
    const RedundancyMap& redundancy) {
  std::vector<std::pair<std::size_t, double>> hits;
  for (const std::string& gene : pathway_genes) {
    const auto at = index.find(gene);
    if (at == index.end()) continue;
    const auto r = redundancy.find(gene);
    if (r == redundancy.end()) continue;
    hits.emplace_back(at->second, r->second);
  }
  std::stable_sort(hits.begin(), hits.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  hits.erase(std::unique(hits.begin(), hits.end(),
                         [](const auto& a, const auto& b) { return a.first == b.first; }),
             hits.end());
  return hits;
}

namespace {

// One pathway's record, nothing when it is out of range, or the first
// penalty error among its hits.
Result<std::optional<stats::PathwayRecord>> prepare_one(const DecorPreparationInputs& in,
                                                        const Pathway& pathway) {
  const auto entry = in.cache.pathways.find(pathway.name);
  const RedundancyMap redundancy =
      entry == in.cache.pathways.end() ? RedundancyMap{} : pathway_redundancy_map(entry->second);
  const auto pairs = extract_decor_hits(pathway.genes, in.index, redundancy);
  const std::uint64_t k = pairs.size();
  if (k < in.min_size || k > in.max_size) return std::optional<stats::PathwayRecord>{};

  stats::PathwayRecord work;
  work.name = &pathway.name;
  work.size = k;
  work.hits.reserve(k);
  work.penalties.reserve(k);
  for (const auto& [position, r] : pairs) {
    Result<double> penalty = in.context.penalty(r);
    if (!penalty) return Error{penalty.error()};
    work.hits.push_back(position);
    work.penalties.push_back(penalty.value());
  }
  const stats::EsPeak observed =
      stats::enrichment_score(in.weights, work.hits, in.n, in.score_type, work.penalties);
  work.es = observed.es;
  work.peak = observed.peak;
  return std::optional<stats::PathwayRecord>(std::move(work));
}

}  // namespace

Result<std::vector<stats::PathwayRecord>> prepare_decor_pathways(const DecorPreparationInputs& in) {
  std::vector<std::optional<Result<std::optional<stats::PathwayRecord>>>> slots(in.pathways.size());
  runtime::run_in_worker_pool([&] {
    oneapi::tbb::parallel_for(std::size_t{0}, in.pathways.size(), [&](std::size_t i) {
      slots[i].emplace(prepare_one(in, in.pathways[i]));
    });
  });
  std::vector<stats::PathwayRecord> kept;
  for (auto& slot : slots) {
    if (!slot->ok()) return Error{slot->error()};
    if (slot->value()) kept.push_back(std::move(*slot->value()));
  }
  return kept;
}

}  // namespace quenfa::decor
