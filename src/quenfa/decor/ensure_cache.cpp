#include "quenfa/decor/ensure_cache.hpp"

#include <sys/stat.h>

#include "quenfa/core/internal_fault.hpp"
#include "quenfa/decor/cache_builder.hpp"
#include "quenfa/decor/cache_file.hpp"
#include "quenfa/decor/expression_matrix.hpp"
#include "quenfa/decor/file_digest.hpp"
#include "quenfa/decor/number_text.hpp"

namespace quenfa::decor {

namespace {

constexpr const char* kNoExpression =
    "decor cache does not exist or is incompatible and --decor-expression was not provided";

Result<DecorCache> build_and_write(const PathwayDb& pathways, const DecorOptions& options,
                                   const DecorCacheCompatibility& compatibility) {
  // Refused before any work: such a name cannot be stored.
  for (const Pathway& pathway : pathways) {
    if (Status st = check_storable_pathway_name(pathway.name); !st) return Error{st.error()};
  }
  if (Status st = check_replaceable_by_cache(*options.cache_path); !st) return Error{st.error()};
  auto matrix = read_expression_matrix(*options.expression_path);
  if (!matrix) return Error{matrix.error()};
  const StandardisedProfiles profiles(std::move(matrix.value()), options.correlation);
  DecorCache cache = assemble_decor_cache(
      pathways, build_decor_cache_from_expression(pathways, profiles, options.redundancy),
      compatibility);
  if (Status st = write_decor_cache_atomic(*options.cache_path, cache); !st) {
    return Error{st.error()};
  }
  return cache;
}

}  // namespace

DecorCache assemble_decor_cache(const PathwayDb& pathways, std::vector<DecorPathwayScores> results,
                                const DecorCacheCompatibility& compatibility) {
  QUENFA_ENSURE(results.size() == pathways.size(), "one built result per pathway");
  DecorCache cache;
  for (std::size_t p = 0; p < pathways.size(); ++p) {
    for (float& r : results[p].redundancy) r = *parse_float32(format_redundancy(r));
    cache.pathways[pathways[p].name] = std::move(results[p]);
  }
  // A pathway without matrix genes has no rows in the file and so no entry
  // when the file is read; it has none here either (n_pathways counts it).
  std::erase_if(cache.pathways, [](const auto& entry) { return entry.second.genes.empty(); });
  std::uint64_t rows = 0;
  for (const auto& entry : cache.pathways) rows += entry.second.genes.size();
  QUENFA_ENSURE(compatibility.expression_sha256.has_value(), "a built cache has an expression");
  cache.metadata = {"quenfa-decor-cache",
                    "1",
                    "quenfa",
                    compatibility.gmt_sha256,
                    *compatibility.expression_sha256,
                    compatibility.correlation,
                    compatibility.redundancy,
                    compatibility.expression_gene_axis,
                    compatibility.expression_has_header,
                    compatibility.gene_id_mode,
                    pathways.size(),
                    rows};
  return cache;
}

Result<DecorCache> ensure_decor_cache(const PathwayDb& pathways, const std::string& gmt_sha256,
                                      const DecorOptions& options) {
  if (Status st = validate_decor_options(options); !st) return Error{st.error()};
  if (!options.cache_path) return Error{"method decor requires --decor-cache"};
  const std::string& path = *options.cache_path;

  DecorCacheCompatibility compatibility;
  compatibility.gmt_sha256 = gmt_sha256;
  if (options.expression_path) {
    auto digest = file_sha256(*options.expression_path);
    if (!digest) return Error{digest.error()};
    compatibility.expression_sha256 = std::move(digest.value());
  }
  compatibility.correlation = options.correlation;
  compatibility.redundancy = options.redundancy;

  const bool reuse = options.cache_mode == DecorCacheMode::Reuse;
  const bool can_build = options.expression_path.has_value();
  const auto build = [&] { return build_and_write(pathways, options, compatibility); };

  struct stat status;
  if (path.find('\0') != std::string::npos || ::stat(path.c_str(), &status) != 0) {
    if (reuse) return Error{"decor cache does not exist: " + path};
    return can_build ? build() : Error{kNoExpression};
  }
  if (options.cache_mode == DecorCacheMode::Rebuild)
    return can_build ? build() : Error{kNoExpression};

  auto cache = read_decor_cache(path);
  if (!cache) {
    if (reuse) return Error{"Decor cache could not be read: " + cache.error()};
    if (can_build) return build();
    return Error{"Decor cache could not be read and --decor-expression was not provided: " +
                 cache.error()};
  }
  const std::vector<std::string> reasons =
      validate_decor_cache(cache.value().metadata, compatibility);
  if (reasons.empty()) return cache;
  if (reuse || !can_build) return Error{incompatible_message(reasons, reuse)};
  return build();
}

}  // namespace quenfa::decor
