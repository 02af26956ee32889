// Adaptive multilevel splitting on floating-point scores: the probability
// that a random gene set of a pathway's size, scored with the pathway's
// penalties, scores at least as extreme as the observed score.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "quenfa/core/score_type.hpp"

namespace quenfa::decor {

// Most cuts one estimation makes before it gives up.
inline constexpr std::uint64_t kMaxTailCuts = 256;

// A population of max(3, sample_size) random sets is cut at its median score
// again and again; the part below is replaced by copies of the part above,
// each moved by random single-gene swaps that keep it at or above the cut.
// Every cut multiplies the probability by the surviving fraction (a harmonic
// sum in log space). The estimation stops once the median reaches |es|, or
// early once the probability falls below eps_bound (when eps_bound > 0).
//
// Returns 1.0 without drawing when there is nothing to estimate (no
// penalties, k >= n, es 0 or not finite); absent when the estimation fails
// (median not finite, all values equal at a cut, a cut not above the one
// before, a population that cannot move, kMaxTailCuts cuts, or no sample
// reaching |es| at the end).
//
// All draws come from the standard MT19937 seeded with seed32, in this order
// (the reproducibility contract of the estimator):
//   1. N `combination` calls, one per initial set, in population order;
//   2. at every cut, with S survivors: N picks, uniform_below(S) for the
//      copies j = 0 .. N-1 in order, all before any move;
//   3. then sweeps over the copies j = 0 .. N-1 in order, max(1, k/10)
//      attempts per copy and sweep, each attempt drawing uniform_below(k)
//      (the hit position) then uniform_below(n) (the new gene) whatever its
//      outcome; the sweeps stop after the first one at whose end the
//      accepted swaps of this cut total at least N x max(1, k/2), R being
//      the sweeps made, and R more sweeps follow. When the total is not
//      reached within ceil(16 x max(1, k/2) x max(k, 8) / max(1, k/10))
//      sweeps, the estimation is absent.
std::optional<double> run_decor_multilevel_tail(double es, double eps_bound,
                                                std::span<const double> weights,
                                                std::span<const double> penalties, std::size_t n,
                                                ScoreType score_type, std::uint64_t sample_size,
                                                std::uint32_t seed32);

}  // namespace quenfa::decor
