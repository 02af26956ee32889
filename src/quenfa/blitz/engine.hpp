// The gamma-approximation engine's entry point.
#pragma once

#include <vector>

#include "quenfa/blitz/options.hpp"
#include "quenfa/core/enrichment_result.hpp"
#include "quenfa/core/pathway.hpp"
#include "quenfa/core/ranked_list.hpp"
#include "quenfa/core/result.hpp"

namespace quenfa::blitz {

// Scores every pathway whose cleaned size lies in [min_size, max_size] against
// a gamma null model (from the model cache or calibrated), adjusts the
// P-values and sorts the records by P-value, then name.
Result<std::vector<EnrichmentResult>> run(const RankedList& ranked, const PathwayDb& pathways,
                                          const BlitzOptions& options);

}  // namespace quenfa::blitz
