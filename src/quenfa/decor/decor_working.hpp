// The per-pathway record of one decor run, shared by its stages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "quenfa/stats/enrichment_statistics.hpp"

namespace quenfa::decor {

struct DecorWorking {
  const std::string* name = nullptr;  // owned by the run's PathwayDb
  std::vector<std::size_t> hits;      // ascending ranked positions
  std::vector<double> penalties;      // one per hit, aligned with hits
  std::uint64_t size = 0;
  double es = 0.0;
  std::size_t peak = 0;
  stats::PermutationCounters counts;  // tallies over the null distribution
  std::optional<double> nes;
  double pval = std::numeric_limits<double>::quiet_NaN();
  std::optional<double> log2err;
  std::uint64_t extreme = 0;  // null scores at least as extreme as es
  std::uint64_t mode = 0;     // null scores on the side of es
};

}  // namespace quenfa::decor
