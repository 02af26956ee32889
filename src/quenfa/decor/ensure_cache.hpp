// Deciding whether an existing decor cache is reused or a new one is built
// from an expression matrix and written.
#pragma once

#include <string>
#include <vector>

#include "quenfa/core/pathway.hpp"
#include "quenfa/core/result.hpp"
#include "quenfa/decor/decor_cache.hpp"
#include "quenfa/decor/decor_options.hpp"

namespace quenfa::decor {

// Mode auto reuses a readable compatible cache and otherwise builds when an
// expression path is given; reuse never builds; rebuild always builds. A
// built cache holds its scores as the written file reads them back.
// `gmt_sha256` identifies the gene sets (64 lowercase hex digits).
Result<DecorCache> ensure_decor_cache(const PathwayDb& pathways, const std::string& gmt_sha256,
                                      const DecorOptions& options);

// The cache of freshly built scores exactly as its file reads back: sorted by
// pathway name (a later pathway of the same name replaces an earlier one),
// pathways without rows left out (though counted in n_pathways), each score
// replaced by the value its 8-decimal text reads back as.
DecorCache assemble_decor_cache(const PathwayDb& pathways, std::vector<DecorPathwayScores> results,
                                const DecorCacheCompatibility& compatibility);

}  // namespace quenfa::decor
