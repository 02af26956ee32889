// The penalty-weighted running-sum enrichment score: each hit's step height
// is its rank weight multiplied by the gene's penalty.
#pragma once

#include <cstddef>
#include <span>

#include "quenfa/core/score_type.hpp"
#include "quenfa/stats/enrichment_statistics.hpp"

namespace quenfa::decor {

// Score of the hits h (ascending positions, k < n or k = 0 or k = n) over n
// ranked genes with weights w; penalty p[i] belongs to hit h[i]. When every
// step is 0 (all penalties or weights 0) each hit steps by 1/k. With every
// penalty 1 this equals enrichment_score bit for bit.
stats::EsPeak calculate_es_decor_prechecked(std::span<const double> w,
                                            std::span<const std::size_t> h,
                                            std::span<const double> p, std::size_t n,
                                            ScoreType score_type);

// Which extreme of the running sum is the score: its largest top, its
// smallest bottom, or neither (std with max = -min exactly, a score of 0).
// Std takes the larger in magnitude; a NaN takes the bottom.
enum class ScoreSide { Top, Bottom, Tie };
ScoreSide score_side(double max, double min, ScoreType score_type);

}  // namespace quenfa::decor
