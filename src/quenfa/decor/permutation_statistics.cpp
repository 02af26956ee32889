#include "quenfa/decor/permutation_statistics.hpp"

#include <cmath>
#include <limits>

#include "quenfa/stats/enrichment_statistics.hpp"
#include "quenfa/stats/special_functions.hpp"

namespace quenfa::decor {

void permutation_statistics(std::vector<DecorWorking>& kept, std::uint64_t nperm, double eps,
                            ScoreType score_type, bool multilevel) {
  for (DecorWorking& work : kept) {
    const stats::PermutationCounters& c = work.counts;
    work.nes = stats::normalized_enrichment_score(work.es, c, score_type);
    if (work.nes) {
      const double lower =
          (static_cast<double>(c.le) + 1.0) / (static_cast<double>(c.le_zero) + 1.0);
      const double upper =
          (static_cast<double>(c.ge) + 1.0) / (static_cast<double>(c.ge_zero) + 1.0);
      // fmax ignores a NaN eps.
      work.pval = std::fmax(std::fmin(lower, upper), eps);
    }
    const stats::PermutationSide side = stats::permutation_side(c, work.es, score_type);
    work.extreme = side.extreme;
    work.mode = side.mode;
    if (work.mode != 0 && std::isfinite(work.pval) && nperm != 0) {
      work.log2err = std::sqrt(stats::trigamma(static_cast<double>(work.extreme) + 1.0) -
                               stats::trigamma(static_cast<double>(nperm) + 1.0)) *
                     1.4426950408889634;
    }
    if (multilevel && work.mode < 10) {
      work.pval = std::numeric_limits<double>::quiet_NaN();
      work.nes.reset();
      work.log2err.reset();
    }
  }
}

}  // namespace quenfa::decor
