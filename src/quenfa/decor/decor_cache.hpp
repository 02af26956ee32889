// The decor cache in memory: per-pathway redundancy scores and the metadata
// that ties them to their input files and settings.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "quenfa/decor/decor_options.hpp"

namespace quenfa::decor {

// One pathway's genes found in the expression matrix and one score per gene.
struct DecorPathwayScores {
  std::vector<std::string> genes;
  std::vector<float> redundancy;  // same length as genes, each in [0, 1]

  bool operator==(const DecorPathwayScores&) const = default;
};

// The twelve metadata values, in the order they are written.
struct DecorCacheMetadata {
  std::string format;
  std::string version;
  std::string created_by;
  std::string gmt_sha256;
  std::string expression_sha256;
  DecorCorrelation correlation = DecorCorrelation::Pearson;
  DecorRedundancy redundancy = DecorRedundancy::PositiveMean;
  std::string expression_gene_axis;
  bool expression_has_header = true;
  std::string gene_id_mode;
  std::uint64_t n_pathways = 0;
  std::uint64_t n_rows = 0;

  bool operator==(const DecorCacheMetadata&) const = default;
};

struct DecorCache {
  DecorCacheMetadata metadata;
  // Ordered by the bytes of the name (std::string compares as unsigned char).
  std::map<std::string, DecorPathwayScores> pathways;

  bool operator==(const DecorCache&) const = default;
};

// What the current run requires of a cache.
struct DecorCacheCompatibility {
  std::string gmt_sha256;
  std::optional<std::string> expression_sha256;  // absent: any expression digest fits
  std::string expression_gene_axis = "rows";
  std::string gene_id_mode = "verbatim";
  DecorCorrelation correlation = DecorCorrelation::Pearson;
  DecorRedundancy redundancy = DecorRedundancy::PositiveMean;
  bool expression_has_header = true;
};

}  // namespace quenfa::decor
