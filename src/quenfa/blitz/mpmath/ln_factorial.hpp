// ln(n!) as a sum of logarithms in a high-precision context.
#pragma once

#include <cstdint>

#include "quenfa/blitz/mpmath/hp_context.hpp"

namespace quenfa::blitz {

// sum_{k=2}^{n} ln k, each ln and each addition in `ctx`, added in increasing
// k starting from 0; 0 for n < 2. One logarithm per unit of n.
Result<Hp> ln_factorial(const HpContext& ctx, std::uint64_t n);

}  // namespace quenfa::blitz
