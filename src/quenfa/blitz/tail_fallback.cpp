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
// Bits of slack on the absolute error of the digits-bounded tail: a few
// roundings at p' bits, and the series remainder on top of gammacdf's own
// stopping threshold 2^-(p - 24).
constexpr long kRoundingSlackBits = 4;
constexpr long kSeriesSlackBits = 10;

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

// Whether a tail formed as 1 minus the digits-bounded CDF keeps min(d, 15)
// significant digits. Its absolute error stays below 2^-A, A = min(p',
// p - 24 - slack) (p' the tail context's bits, p gammacdf's), so it keeps them
// when tail >= 2^(G - A), G = ceil(digits log2 10) + slack.
bool carries_significant_digits(const Hp& tail, std::uint64_t deep_accuracy,
                                const HpContext& tail_context) {
  if (tail.is_zero()) return false;
  const auto cdf_context = HpContext::for_gammacdf(deep_accuracy);
  const long absolute_bits = std::min<long>(
      tail_context.precision(), cdf_context.value().precision() - 24 - kSeriesSlackBits);
  const double digits = static_cast<double>(std::min(deep_accuracy, kMostSignificantDigits));
  const long significant_bits =
      static_cast<long>(std::ceil(digits * std::log2(10.0))) + kRoundingSlackBits;
  // tail lies in [2^(e-1), 2^e) for its exponent e.
  return mpfr_get_exp(tail.raw()) - 1 >= significant_bits - absolute_bits;
}

// The tail from Q = 1 - P evaluated with its significant bits however small
// (gamma_cdf_and_tail): v = pos_ratio Q on the positive side, (1 - pos_ratio) Q
// on the negative side.
Result<GammaTail> direct_tail(TailSide side, double x, double alpha, double beta,
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
  release_hp_thread_caches();
  if (!finished) return Error{finished.error()};
  return GammaTail{render_f64(p), render_f64(q), render_f64(finished.value().tail),
                   render_f64(finished.value().pvalue), true};
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
  release_hp_thread_caches();
  if (!finished) return Error{finished.error()};
  // 1 - CDF cancels below about 10^-d: a tail too small to keep its
  // significant digits is evaluated again from the upper tail itself.
  if (!carries_significant_digits(finished.value().tail, deep_accuracy, c)) {
    return direct_tail(side, x, alpha, beta, pos_ratio);
  }
  return GammaTail{cdf.value().cdf, cdf.value().complement, render_f64(finished.value().tail),
                   render_f64(finished.value().pvalue), true};
}

}  // namespace quenfa::blitz
