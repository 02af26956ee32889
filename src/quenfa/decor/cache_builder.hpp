// Building redundancy scores from standardised expression profiles: each
// gene's mean transformed correlation with the other genes of its pathway.
#pragma once

#include <span>
#include <vector>

#include "quenfa/core/pathway.hpp"
#include "quenfa/decor/decor_cache.hpp"
#include "quenfa/decor/expression_matrix.hpp"

namespace quenfa::decor {

// For the genes at `rows` of the profiles (m >= 2): each gene's sum of
// transformed correlations over its partners in ascending partner order,
// divided by m - 1. Pairs are taken i < j, i ascending then j ascending.
std::vector<double> mean_partner_redundancy(const StandardisedProfiles& profiles,
                                            std::span<const std::size_t> rows,
                                            DecorRedundancy redundancy);

// The pathway's genes present in the profiles (first occurrence, pathway
// order) and their scores, clamped to [0, 1] and rounded to float.
DecorPathwayScores build_pathway_scores(const Pathway& pathway,
                                        const StandardisedProfiles& profiles,
                                        DecorRedundancy redundancy);

// One result per pathway, in pathway order, built on the worker pool.
std::vector<DecorPathwayScores> build_decor_cache_from_expression(
    const PathwayDb& pathways, const StandardisedProfiles& profiles, DecorRedundancy redundancy);

}  // namespace quenfa::decor
