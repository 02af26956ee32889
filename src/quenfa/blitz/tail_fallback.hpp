// The tail probability recomputed at high precision, for CDF values too close
// to 0 or 1 (or arguments 0 or infinite) to trust in double precision.
#pragma once

#include <cstdint>

#include "quenfa/blitz/scoring.hpp"

namespace quenfa::blitz {

// The tail and P-value keep min(deep_accuracy, 15) significant digits however
// small they are, and are 0 only below the smallest double: the value formed
// as 1 minus the CDF at deep_accuracy digits is kept where it agrees with the
// upper tail evaluated directly to that many digits, and replaced by the
// direct value elsewhere.
Result<GammaTail> high_precision_tail(TailSide side, std::uint64_t deep_accuracy, double x,
                                      double alpha, double beta, double pos_ratio);

}  // namespace quenfa::blitz
