// Gene sets written as GMT text: the canonical form that identifies sets held
// in memory as a file's digest identifies the sets it holds.
#pragma once

#include <string>

#include "quenfa/core/pathway.hpp"
#include "quenfa/core/result.hpp"

namespace quenfa {

// Fails unless every set writes as a GMT line that reads back to the same
// set: a non-empty name, at least one gene, genes non-empty and without
// surrounding white space, no tab or line break in any field.
Status check_gmt_writable(const PathwayDb& pathways);

// One line per set in order: name, description (empty when there is none),
// then the genes (repeats kept), joined by tabs, each line ended by "\n".
std::string gmt_text(const PathwayDb& pathways);

}  // namespace quenfa
