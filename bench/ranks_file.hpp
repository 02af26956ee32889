// Reading the benchmarks' ranked-list files ("gene<TAB>score" after a header).
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "quenfa/core/ranked_list.hpp"

inline quenfa::RankedList read_ranks_file(const char* path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);  // header
  std::vector<std::string> genes;
  std::vector<double> scores;
  while (std::getline(in, line)) {
    const auto tab = line.find('\t');
    genes.push_back(line.substr(0, tab));
    scores.push_back(std::stod(line.substr(tab + 1)));
  }
  return quenfa::RankedList::create(std::move(genes), std::move(scores));
}
