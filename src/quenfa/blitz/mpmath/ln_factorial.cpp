#include "quenfa/blitz/mpmath/ln_factorial.hpp"

#include "quenfa/blitz/mpmath/hp_try.hpp"

namespace quenfa::blitz {

Result<Hp> ln_factorial(const HpContext& ctx, std::uint64_t n) {
  Hp sum;
  QUENFA_HP_TRY(sum, ctx.from_u64(0));
  // k runs to n inclusive; n may be 2^64 - 1, so the loop ends on k == n.
  for (std::uint64_t k = 2; n >= 2; ++k) {
    Hp term;
    QUENFA_HP_TRY(term, ctx.from_u64(k));
    QUENFA_HP_TRY(term, ctx.ln(term));
    QUENFA_HP_TRY(sum, ctx.add(sum, term));
    if (k == n) break;
  }
  return sum;
}

}  // namespace quenfa::blitz
