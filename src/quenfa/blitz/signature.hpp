// The blitz engine's preparatory steps: the ranked list becomes a signature of
// distinct genes, and every pathway is reduced to the genes of the signature
// in Python set order, with their rank positions.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "quenfa/blitz/python_set.hpp"
#include "quenfa/core/pathway.hpp"
#include "quenfa/core/ranked_list.hpp"

namespace quenfa::blitz {

struct BlitzSignature {
  std::vector<std::string> names;  // distinct genes, position 0 = highest score
  std::vector<double> abs_scores;  // |score| (after optional centring), same order
  std::unordered_map<std::string, std::size_t> positions;  // name -> index in names
};

struct CleanedPathway {
  std::string name;
  std::vector<std::string> genes;        // signature genes, in ordered-intersection order
  std::vector<std::size_t> hits;         // signature position of each entry of genes
  std::vector<std::size_t> sorted_hits;  // hits, ascending
  PythonIntSet hit_set;                  // the positions, in the slot order of a set of genes
};

// Sorts the list by descending score (ties and NaN by position), keeps the
// first occurrence of every gene, optionally subtracts the mean of the kept
// scores (NumPy's pairwise sum divided by the count) and takes absolute values.
BlitzSignature prepare_signature(const RankedList& ranked, bool center);

// One cleaned pathway per input pathway, in input order; none is dropped.
std::vector<CleanedPathway> clean_pathways(const BlitzSignature& signature,
                                           const PathwayDb& pathways);

}  // namespace quenfa::blitz
