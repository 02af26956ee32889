#include "quenfa/blitz/tail_fallback.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "quenfa/blitz/mpmath/gammacdf.hpp"
#include "quenfa/blitz/mpmath/hp_context.hpp"
#include "quenfa/blitz/mpmath/hp_try.hpp"

namespace quenfa::blitz {

namespace {

// A P-value carries the digits asked for, up to the 15 a double holds.
constexpr std::uint64_t kMostSignificantDigits = 15;

struct TailAndPvalue {
  Hp tail;
  Hp pvalue;
};

// From v, the side's share of the upper tail: tail = v when v < 0.5, else
// 0.5, and on the negative side a tail of 0.5 becomes 0.5 - P; the P-value
// is 2 tail, at most 1.
Result<TailAndPvalue> finish_tail(const HpContext& c, TailSide side, const Hp& v, const Hp& p) {
  Hp one, half, two, tail, pv;
  QUENFA_HP_TRY(one, c.from_f64(1.0));
  QUENFA_HP_TRY(half, c.from_f64(0.5));
  QUENFA_HP_TRY(two, c.from_f64(2.0));
  tail = v < half ? v : half;
  if (side == TailSide::Negative && tail == half) QUENFA_HP_TRY(tail, c.sub(half, p));
  QUENFA_HP_TRY(pv, c.mul(two, tail));
  if (pv > one) pv = one;
  return TailAndPvalue{std::move(tail), std::move(pv)};
}

// Whether `tail` agrees with `exact` to min(d, 15) significant digits:
// |tail - exact| <= 10^-digits / 2 * exact, both exact when exact is 0.
Result<bool> agrees_to_digits(const Hp& tail, const Hp& exact, std::uint64_t deep_accuracy) {
  const HpContext c(exact.precision(), false);
  const double digits = static_cast<double>(std::min(deep_accuracy, kMostSignificantDigits));
  Hp difference, bound;
  QUENFA_HP_TRY(difference, c.sub(tail, exact));
  QUENFA_HP_TRY(difference, c.abs(difference));
  QUENFA_HP_TRY(bound, c.from_f64(std::pow(10.0, -digits) / 2));
  QUENFA_HP_TRY(bound, c.mul(bound, exact));
  return difference <= bound;
}

struct DirectTail {
  GammaTail doubles;
  Hp tail;
};

// The tail from Q = 1 - P evaluated with its significant bits however small
// (gamma_cdf_and_tail): v = pos_ratio Q on the positive side, (1 - pos_ratio) Q
// on the negative side.
Result<DirectTail> direct_tail(TailSide side, double x, double alpha, double beta,
                               double pos_ratio) {
  auto cdf = gamma_cdf_and_tail(x, alpha, beta);
  if (!cdf) return Error{cdf.error()};
  const Hp& p = cdf.value().p;
  const Hp& q = cdf.value().q;
  const HpContext c(q.precision(), false);
  Hp share, v;
  QUENFA_HP_TRY(share, c.from_f64(pos_ratio));
  if (side == TailSide::Negative) {
    Hp one;
    QUENFA_HP_TRY(one, c.from_f64(1.0));
    QUENFA_HP_TRY(share, c.sub(one, share));
  }
  QUENFA_HP_TRY(v, c.mul(share, q));
  auto finished = finish_tail(c, side, v, p);
  if (!finished) return Error{finished.error()};
  Hp& tail = finished.value().tail;
  const GammaTail doubles{render_f64(p), render_f64(q), render_f64(tail),
                          render_f64(finished.value().pvalue), true};
  return DirectTail{doubles, std::move(tail)};
}

}  // namespace

Result<GammaTail> high_precision_tail(TailSide side, std::uint64_t deep_accuracy, double x,
                                      double alpha, double beta, double pos_ratio) {
  auto cdf = gammacdf(deep_accuracy, x, alpha, beta);
  if (!cdf) return Error{cdf.error()};
  const Hp& p = cdf.value().p;
  auto context = HpContext::for_tail(deep_accuracy);
  if (!context) return Error{context.error()};
  const HpContext& c = context.value();

  Hp one, g, m, w, v;
  QUENFA_HP_TRY(one, c.from_f64(1.0));
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
  auto finished = finish_tail(c, side, v, p);
  if (!finished) return Error{finished.error()};
  // 1 - CDF at about d digits cancels below 10^-d, and for d <= 3 gammacdf's
  // series stops after one term. So the tail is also evaluated from the upper
  // tail itself, and the value above is kept only where it already agrees
  // with that to min(d, 15) significant digits: such results stay as they
  // were, bit for bit, and every other one is replaced.
  auto direct = direct_tail(side, x, alpha, beta, pos_ratio);
  if (!direct) {
    release_hp_thread_caches();
    return Error{direct.error()};
  }
  auto agrees = agrees_to_digits(finished.value().tail, direct.value().tail, deep_accuracy);
  release_hp_thread_caches();
  if (!agrees) return Error{agrees.error()};
  if (!agrees.value()) return direct.value().doubles;
  return GammaTail{cdf.value().cdf, cdf.value().complement, render_f64(finished.value().tail),
                   render_f64(finished.value().pvalue), true};
}

}  // namespace quenfa::blitz
