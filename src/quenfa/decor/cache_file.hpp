// The decor cache file: reading (lenient), the compatibility check and its
// message, and the atomic write of the layout.
//
// Layout as written: twelve lines "# key=value" in the order of
// DecorCacheMetadata, the header "pathway\tgene\tredundancy", then one row
// "pathway\tgene\tscore" per gene, pathways in byte order of their names,
// scores with exactly 8 decimals. Gzip-compressed when the path ends in .gz.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "quenfa/core/result.hpp"
#include "quenfa/decor/decor_cache.hpp"

namespace quenfa::decor {

inline constexpr std::string_view kCacheHeader = "pathway\tgene\tredundancy";
inline constexpr std::array<std::string_view, 12> kCacheMetadataKeys = {
    "quenfa_decor_cache_format",
    "quenfa_decor_cache_version",
    "created_by",
    "gmt_sha256",
    "expression_sha256",
    "correlation",
    "redundancy",
    "expression_gene_axis",
    "expression_has_header",
    "gene_id_mode",
    "n_pathways",
    "n_rows"};

// Reads a cache file; scores are clamped to [0, 1]. No partial cache on error.
Result<DecorCache> read_decor_cache(const std::string& path);

// Why a cache read from disk does not fit the current run; empty: it fits.
std::vector<std::string> validate_decor_cache(const DecorCacheMetadata& metadata,
                                              const DecorCacheCompatibility& required);

// The error text for a non-empty list of reasons; `reuse_requested` selects
// the advice line.
std::string incompatible_message(const std::vector<std::string>& reasons, bool reuse_requested);

// A pathway whose name begins with "#" would read back as a metadata line;
// such a cache cannot be written.
Status check_storable_pathway_name(std::string_view name);

// Whether a cache may be written to `path`: yes when nothing is there, or an
// empty file, or a file whose first line (read through gzip for a .gz name)
// is a decor cache's format line; any other file would be lost, so it fails
// with a message naming the path. A directory is left to the rename to report.
Status check_replaceable_by_cache(const std::string& path);

// Writes `cache` to a temporary file beside `path` and renames it onto
// `path`: the path keeps its old content or gets the complete new one. A
// failure leaves no temporary file behind. A file that is not a decor cache
// is never replaced (check_replaceable_by_cache).
Status write_decor_cache_atomic(const std::string& path, const DecorCache& cache);

}  // namespace quenfa::decor
