#include "quenfa/core/pathway_hits.hpp"

#include <algorithm>

namespace quenfa {

GeneIndex build_gene_index(const std::vector<std::string>& genes) {
  GeneIndex index;
  index.reserve(genes.size());
  for (std::size_t i = 0; i < genes.size(); ++i) index.insert_or_assign(genes[i], i);
  return index;
}

std::vector<std::size_t> extract_pathway_hits(const std::vector<std::string>& pathway_genes,
                                              const GeneIndex& index) {
  std::vector<std::size_t> hits;
  hits.reserve(pathway_genes.size());
  for (const std::string& gene : pathway_genes) {
    if (auto it = index.find(gene); it != index.end()) hits.push_back(it->second);
  }
  std::sort(hits.begin(), hits.end());
  hits.erase(std::unique(hits.begin(), hits.end()), hits.end());
  return hits;
}

}  // namespace quenfa
