// Normalised score, permutation P-value and its error for every kept pathway
// of a decor run, from its null tallies.
#pragma once

#include <cstdint>
#include <vector>

#include "quenfa/core/score_type.hpp"
#include "quenfa/decor/decor_working.hpp"

namespace quenfa::decor {

// Sets nes, pval (floored at eps; NaN without nes), extreme, mode and
// log2err. With `multilevel`, a pathway with fewer than 10 null scores on
// its side loses pval, nes and log2err: the tail estimator cannot start from
// so few.
void permutation_statistics(std::vector<DecorWorking>& kept, std::uint64_t nperm, double eps,
                            ScoreType score_type, bool multilevel);

}  // namespace quenfa::decor
