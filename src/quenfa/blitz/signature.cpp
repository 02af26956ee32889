#include "quenfa/blitz/signature.hpp"

#include <oneapi/tbb/parallel_for.h>

#include "quenfa/runtime/worker_pool.hpp"

#include <algorithm>
#include <cmath>

#include "quenfa/blitz/compat/numpy_pairwise_sum.hpp"

namespace quenfa::blitz {

BlitzSignature prepare_signature(const RankedList& ranked, bool center) {
  const std::size_t m = std::min(ranked.genes.size(), ranked.scores.size());
  // RankedList::create sorts by the same rule: larger score first, equal or
  // unordered (NaN) scores by position.
  const auto end = static_cast<std::ptrdiff_t>(m);
  const RankedList sorted =
      RankedList::create(std::vector<std::string>(ranked.genes.begin(), ranked.genes.begin() + end),
                         std::vector<double>(ranked.scores.begin(), ranked.scores.begin() + end));

  BlitzSignature out;
  std::vector<double> scores;
  for (std::size_t i = 0; i < m; ++i) {
    // The first occurrence is the highest-ranked one.
    if (!out.positions.try_emplace(sorted.genes[i], out.names.size()).second) continue;
    out.names.push_back(sorted.genes[i]);
    scores.push_back(sorted.scores[i]);
  }
  if (center && !scores.empty()) {
    const double mean = compat::numpy_pairwise_sum_f64(scores) / static_cast<double>(scores.size());
    for (double& v : scores) v -= mean;
  }
  out.abs_scores.reserve(scores.size());
  for (double v : scores) out.abs_scores.push_back(std::fabs(v));
  return out;
}

namespace {

PythonStringSet string_set_of(const std::vector<std::string>& keys) {
  PythonStringSet set;
  for (const std::string& key : keys) set.insert(key);
  return set;
}

CleanedPathway clean_pathway(const BlitzSignature& signature, const PythonStringSet& signature_set,
                             const Pathway& pathway) {
  CleanedPathway out;
  out.name = pathway.name;
  const PythonStringSet genes = string_set_of(pathway.genes);
  // CPython's set intersection iterates the smaller set, the pathway's on a
  // tie. The position map doubles as the membership set of the signature.
  out.genes = signature.names.size() >= genes.used()
                  ? intersection_new_set_order(genes, signature.positions)
                  : intersection_new_set_order(signature_set, genes);

  out.hits.reserve(out.genes.size());
  for (const std::string& gene : out.genes) out.hits.push_back(signature.positions.at(gene));
  out.sorted_hits = out.hits;
  std::sort(out.sorted_hits.begin(), out.sorted_hits.end());

  for (const std::string& gene : string_set_of(out.genes)) {
    out.hit_set.insert(signature.positions.at(gene));
  }
  return out;
}

}  // namespace

std::vector<CleanedPathway> clean_pathways(const BlitzSignature& signature,
                                           const PathwayDb& pathways) {
  const PythonStringSet signature_set = string_set_of(signature.names);
  // Pathways are independent: cleaned on the worker pool, each into its slot.
  std::vector<CleanedPathway> out(pathways.size());
  runtime::run_in_worker_pool([&] {
    oneapi::tbb::parallel_for(std::size_t{0}, pathways.size(), [&](std::size_t i) {
      out[i] = clean_pathway(signature, signature_set, pathways[i]);
    });
  });
  return out;
}

}  // namespace quenfa::blitz
