// The tail probability recomputed at high precision, for CDF values too close
// to 0 or 1 (or arguments 0 or infinite) to trust in double precision.
#pragma once

#include <cstdint>

#include "quenfa/blitz/scoring.hpp"

namespace quenfa::blitz {

Result<GammaTail> high_precision_tail(TailSide side, std::uint64_t deep_accuracy, double x,
                                      double alpha, double beta, double pos_ratio);

}  // namespace quenfa::blitz
