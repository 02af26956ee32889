// Mapping a pathway's genes onto positions of the ranked list.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quenfa {

using GeneIndex = std::unordered_map<std::string_view, std::size_t>;

// Gene identifier -> position; a later duplicate replaces the earlier one.
// The index refers to the strings of `genes`, which must outlive it.
GeneIndex build_gene_index(const std::vector<std::string>& genes);

// Ascending distinct positions of the pathway genes present in the index.
std::vector<std::size_t> extract_pathway_hits(const std::vector<std::string>& pathway_genes,
                                              const GeneIndex& index);

}  // namespace quenfa
