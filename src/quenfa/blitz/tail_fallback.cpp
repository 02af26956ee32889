#include "quenfa/blitz/tail_fallback.hpp"

#include "quenfa/blitz/mpmath/gammacdf.hpp"
#include "quenfa/blitz/mpmath/hp_context.hpp"
#include "quenfa/blitz/mpmath/hp_try.hpp"

namespace quenfa::blitz {

Result<GammaTail> high_precision_tail(TailSide side, std::uint64_t deep_accuracy, double x,
                                      double alpha, double beta, double pos_ratio) {
  auto cdf = gammacdf(deep_accuracy, x, alpha, beta);
  if (!cdf) return Error{cdf.error()};
  const Hp& p = cdf.value().p;
  auto context = HpContext::for_tail(deep_accuracy);
  if (!context) return Error{context.error()};
  const HpContext& c = context.value();

  Hp one, half, two, g, m, w, v, tail, pv;
  QUENFA_HP_TRY(one, c.from_f64(1.0));
  QUENFA_HP_TRY(half, c.from_f64(0.5));
  QUENFA_HP_TRY(two, c.from_f64(2.0));
  QUENFA_HP_TRY(g, c.from_f64(pos_ratio));
  QUENFA_HP_TRY(m, c.mul(p, g));
  if (side == TailSide::Positive) {
    Hp m_plus_one;
    QUENFA_HP_TRY(m_plus_one, c.add(m, one));
    QUENFA_HP_TRY(w, c.sub(m_plus_one, g));  // (P g + 1) - g
  } else {
    Hp p_minus_m;
    QUENFA_HP_TRY(p_minus_m, c.sub(p, m));
    QUENFA_HP_TRY(w, c.add(p_minus_m, g));  // (P - P g) + g
  }
  QUENFA_HP_TRY(v, c.sub(one, w < one ? w : one));
  tail = v < half ? v : half;
  if (side == TailSide::Negative && tail == half) QUENFA_HP_TRY(tail, c.sub(half, p));
  QUENFA_HP_TRY(pv, c.mul(two, tail));
  if (pv > one) pv = one;
  release_hp_thread_caches();
  return GammaTail{cdf.value().cdf, cdf.value().complement, render_f64(tail), render_f64(pv), true};
}

}  // namespace quenfa::blitz
