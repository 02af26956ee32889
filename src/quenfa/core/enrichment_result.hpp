// One scored pathway, as every engine returns it.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace quenfa {

struct EnrichmentResult {
  std::string pathway;
  std::uint64_t size = 0;  // number of hits in the ranked list
  double es = 0.0;
  std::optional<double> nes;
  double pval = std::numeric_limits<double>::quiet_NaN();  // NaN: not computed
  std::optional<double> padj;                              // absent when pval is not finite
  std::optional<double> log2err;
  std::vector<std::string> leading_edge;
};

}  // namespace quenfa
