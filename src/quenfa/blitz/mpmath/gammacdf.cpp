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
  if (!std::isfinite(x) || !std::isfinite(a) || !(a > 0.0) || !std::isfinite(beta) ||
      !(beta > 0.0)) {
    return Error{"blitz mpmath fallback requires finite positive gamma parameters"};
  }
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

}  // namespace

Result<GammaCdf> gammacdf(std::uint64_t digits, double x, double a, double beta) {
  auto result = evaluate(digits, x, a, beta);
  release_hp_thread_caches();
  return result;
}

}  // namespace quenfa::blitz
