#include "quenfa/blitz/mpmath/gammacdf.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "quenfa/blitz/mpmath/gamma_prefactor.hpp"
#include "quenfa/blitz/mpmath/hp_try.hpp"

namespace quenfa::blitz {

namespace {

constexpr int kMaxTerms = 20000;
constexpr double kLentzTiny = 1e-300;
constexpr const char* kInvalidParameters =
    "blitz mpmath fallback requires finite positive gamma parameters";
// gamma_cdf_and_tail: the precision with which Q starts (W = 128: the series
// and the fraction stop at 2^-104, well past a double's 53 bits), and the
// depth below which Q no longer matters, 2^-1100 lying under every double.
constexpr mpfr_prec_t kTailBits = 128;
constexpr mpfr_prec_t kBelowEveryDouble = 1100;

bool valid_parameters(double x, double a, double beta) {
  return std::isfinite(x) && std::isfinite(a) && a > 0.0 && std::isfinite(beta) && beta > 0.0;
}

// sum = 1/a + z/(a(a+1)) + ...: ap = ap + 1, del = (del z) / ap,
// sum = sum + del until |del| < |sum| eps.
Result<Hp> lower_series(const HpContext& ctx, const Hp& a, const Hp& z, const Hp& eps) {
  Hp one, ap = a, del, sum;
  QUENFA_HP_TRY(one, ctx.from_u64(1));
  QUENFA_HP_TRY(del, ctx.div(one, a));
  sum = del;
  for (int n = 0; n < kMaxTerms; ++n) {
    Hp size, bound;
    QUENFA_HP_TRY(ap, ctx.add(ap, one));
    QUENFA_HP_TRY(del, ctx.mul(del, z));
    QUENFA_HP_TRY(del, ctx.div(del, ap));
    QUENFA_HP_TRY(sum, ctx.add(sum, del));
    QUENFA_HP_TRY(size, ctx.abs(del));
    QUENFA_HP_TRY(bound, ctx.abs(sum));
    QUENFA_HP_TRY(bound, ctx.mul(bound, eps));
    if (size < bound) return sum;
  }
  return Error{"blitz mpmath fallback lower gamma series did not converge"};
}

// Q / prefactor as the continued fraction 1/(z-a+1-) 1(1-a)/(z-a+3-) ...,
// by Lentz's method with values below `tiny` in magnitude replaced by tiny.
Result<Hp> upper_fraction(const HpContext& ctx, const Hp& a, const Hp& z, const Hp& eps) {
  Hp one, tiny, b, c, d, h;
  QUENFA_HP_TRY(one, ctx.from_u64(1));
  QUENFA_HP_TRY(tiny, ctx.from_f64(kLentzTiny));
  QUENFA_HP_TRY(b, ctx.sub(z, a));
  QUENFA_HP_TRY(b, ctx.add(b, one));
  QUENFA_HP_TRY(c, ctx.div(one, tiny));
  Hp magnitude;
  QUENFA_HP_TRY(magnitude, ctx.abs(b));
  QUENFA_HP_TRY(d, ctx.div(one, magnitude < tiny ? tiny : b));
  h = d;
  Hp two;
  QUENFA_HP_TRY(two, ctx.from_u64(2));
  for (int i = 1; i <= kMaxTerms; ++i) {
    Hp an, step, change;
    QUENFA_HP_TRY(an, ctx.from_u64(static_cast<std::uint64_t>(i)));
    QUENFA_HP_TRY(step, ctx.sub(a, an));
    QUENFA_HP_TRY(an, ctx.mul(an, step));  // i (a - i)
    QUENFA_HP_TRY(b, ctx.add(b, two));
    QUENFA_HP_TRY(d, ctx.mul(an, d));
    QUENFA_HP_TRY(d, ctx.add(d, b));
    QUENFA_HP_TRY(magnitude, ctx.abs(d));
    if (magnitude < tiny) d = tiny;
    QUENFA_HP_TRY(c, ctx.div(an, c));
    QUENFA_HP_TRY(c, ctx.add(b, c));
    QUENFA_HP_TRY(magnitude, ctx.abs(c));
    if (magnitude < tiny) c = tiny;
    QUENFA_HP_TRY(d, ctx.div(one, d));
    QUENFA_HP_TRY(step, ctx.mul(d, c));
    QUENFA_HP_TRY(h, ctx.mul(h, step));
    QUENFA_HP_TRY(change, ctx.sub(step, one));
    QUENFA_HP_TRY(change, ctx.abs(change));
    if (change < eps) return h;
  }
  return Error{"blitz mpmath fallback upper gamma continued fraction did not converge"};
}

Result<Hp> regularized_lower_gamma(const HpContext& ctx, double x, double a, double beta) {
  Hp ha, hz, scale, eps, one;
  QUENFA_HP_TRY(ha, ctx.from_f64(a));
  QUENFA_HP_TRY(hz, ctx.from_f64(x));
  QUENFA_HP_TRY(scale, ctx.from_f64(beta));
  // z = x / beta at W bits: finite even where the double quotient overflows.
  QUENFA_HP_TRY(hz, ctx.div(hz, scale));
  const long k = std::min<long>(std::max<long>(ctx.precision() - 24, 0), 900);
  QUENFA_HP_TRY(eps, ctx.from_f64(std::ldexp(1.0, static_cast<int>(-k))));
  QUENFA_HP_TRY(one, ctx.from_u64(1));
  Hp a1, sum, prefactor;
  QUENFA_HP_TRY(a1, ctx.add(ha, one));
  if (hz < a1) {
    QUENFA_HP_TRY(sum, lower_series(ctx, ha, hz, eps));
    QUENFA_HP_TRY(prefactor, gamma_prefactor(ctx, a, hz));
    return ctx.mul(prefactor, sum);
  }
  QUENFA_HP_TRY(sum, upper_fraction(ctx, ha, hz, eps));
  QUENFA_HP_TRY(prefactor, gamma_prefactor(ctx, a, hz));
  QUENFA_HP_TRY(sum, ctx.mul(prefactor, sum));
  return ctx.sub(one, sum);
}

Result<GammaCdf> evaluate(std::uint64_t digits, double x, double a, double beta) {
  if (!valid_parameters(x, a, beta)) return Error{kInvalidParameters};
  auto context = HpContext::for_gammacdf(digits);
  if (!context) return Error{context.error()};
  const HpContext& ctx = context.value();
  Hp p, one, q;
  if (x < 0.0) {
    QUENFA_HP_TRY(p, ctx.from_u64(0));
  } else {
    QUENFA_HP_TRY(p, regularized_lower_gamma(ctx, x, a, beta));
  }
  // 1 - P from the unrounded P; then each rounded to exactly p bits.
  QUENFA_HP_TRY(one, ctx.from_u64(1));
  QUENFA_HP_TRY(q, ctx.sub(one, p));
  QUENFA_HP_TRY(q, ctx.round_to_context(std::move(q)));
  QUENFA_HP_TRY(p, ctx.round_to_context(std::move(p)));
  const double cdf = render_f64(p);
  const double complement = render_f64(q);
  return GammaCdf{std::move(p), cdf, complement};
}

// P and Q at the precision of `ctx`, each series or fraction stopping at
// 2^-(p - 24) relative; `from_series` says that Q was formed as 1 - P.
struct CdfAndTailAt {
  GammaCdfAndTail values;
  bool from_series = false;
};

Result<CdfAndTailAt> cdf_and_tail_at(const HpContext& ctx, double x, double a, double beta) {
  Hp one, zero, ha, hz, scale, eps, a1, sum, prefactor, p, q;
  QUENFA_HP_TRY(one, ctx.from_u64(1));
  if (x < 0.0) {
    QUENFA_HP_TRY(zero, ctx.from_u64(0));
    return CdfAndTailAt{{zero, one}, false};
  }
  QUENFA_HP_TRY(ha, ctx.from_f64(a));
  QUENFA_HP_TRY(hz, ctx.from_f64(x));
  QUENFA_HP_TRY(scale, ctx.from_f64(beta));
  QUENFA_HP_TRY(hz, ctx.div(hz, scale));
  eps = Hp(ctx.working_precision());
  mpfr_set_si_2exp(eps.raw(), 1, -(ctx.precision() - 24), MPFR_RNDN);  // exact
  QUENFA_HP_TRY(a1, ctx.add(ha, one));
  const bool series = hz < a1;
  if (series) {
    QUENFA_HP_TRY(sum, lower_series(ctx, ha, hz, eps));
  } else {
    QUENFA_HP_TRY(sum, upper_fraction(ctx, ha, hz, eps));
  }
  QUENFA_HP_TRY(prefactor, gamma_prefactor(ctx, a, hz));
  if (series) {
    QUENFA_HP_TRY(p, ctx.mul(prefactor, sum));
    QUENFA_HP_TRY(q, ctx.sub(one, p));
  } else {
    QUENFA_HP_TRY(q, ctx.mul(prefactor, sum));
    QUENFA_HP_TRY(p, ctx.sub(one, q));
  }
  return CdfAndTailAt{{std::move(p), std::move(q)}, series};
}

}  // namespace

Result<GammaCdfAndTail> gamma_cdf_and_tail(double x, double a, double beta) {
  if (!valid_parameters(x, a, beta)) return Error{kInvalidParameters};
  mpfr_prec_t bits = kTailBits;
  for (;;) {
    auto at = cdf_and_tail_at(HpContext(bits, false), x, a, beta);
    if (!at) {
      release_hp_thread_caches();
      return Error{at.error()};
    }
    Hp& q = at.value().values.q;
    // 1 - P from the series is good to about 2^-(p - 24) absolutely: Q keeps
    // its significant bits once p exceeds kTailBits plus the bits it lost. A
    // Q that rounds to 0 or below is deeper than the precision reaches.
    const bool resolved = q > Hp();
    const mpfr_prec_t needed = resolved ? kTailBits - std::min<mpfr_exp_t>(mpfr_get_exp(q.raw()), 0)
                                        : bits + kBelowEveryDouble;
    const bool below_every_double = !resolved && bits >= kTailBits + kBelowEveryDouble;
    if (below_every_double) q = Hp();
    if (!at.value().from_series || needed <= bits || below_every_double) {
      release_hp_thread_caches();
      return std::move(at.value().values);
    }
    bits = needed;
  }
}

Result<GammaCdf> gammacdf(std::uint64_t digits, double x, double a, double beta) {
  auto result = evaluate(digits, x, a, beta);
  release_hp_thread_caches();
  return result;
}

}  // namespace quenfa::blitz
