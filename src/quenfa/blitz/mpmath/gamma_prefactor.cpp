#include "quenfa/blitz/mpmath/gamma_prefactor.hpp"

#include <cmath>
#include <cstdint>

#include "quenfa/blitz/mpmath/hp_try.hpp"
#include "quenfa/blitz/mpmath/ln_factorial.hpp"

namespace quenfa::blitz {

namespace {

constexpr double kTwoTo64 = 18446744073709551616.0;
constexpr std::uint64_t kSpougeParameter = 80;
// The least working precision of Spouge's sum.
constexpr mpfr_prec_t kSpougeMinBits = 192;

// a integer with 1 <= a <= 2^64: ln((a - 1)!).
Result<Hp> ln_gamma_integer(const HpContext& ctx, double a) {
  // a - 1 in integers: a = 2^64 does not fit in 64 bits, but a - 1 does.
  const std::uint64_t n = a == kTwoTo64 ? UINT64_MAX : static_cast<std::uint64_t>(a) - 1;
  return ln_factorial(ctx, n);
}

// a = k + 1/2: Gamma(a) = (2k)! sqrt(pi) / (4^k k!).
Result<Hp> ln_gamma_half_integer(const HpContext& ctx, std::uint64_t k) {
  Hp ln_2k, ln_k, four, half, pi, kk, first, second;
  QUENFA_HP_TRY(ln_2k, ln_factorial(ctx, 2 * k));
  QUENFA_HP_TRY(ln_k, ln_factorial(ctx, k));
  QUENFA_HP_TRY(four, ctx.from_u64(4));
  QUENFA_HP_TRY(four, ctx.ln(four));
  QUENFA_HP_TRY(kk, ctx.from_u64(k));
  QUENFA_HP_TRY(kk, ctx.mul(kk, four));
  QUENFA_HP_TRY(first, ctx.sub(ln_2k, ln_k));
  QUENFA_HP_TRY(first, ctx.sub(first, kk));
  QUENFA_HP_TRY(half, ctx.from_f64(0.5));
  QUENFA_HP_TRY(pi, ctx.pi());
  QUENFA_HP_TRY(pi, ctx.ln(pi));
  QUENFA_HP_TRY(second, ctx.mul(half, pi));
  return ctx.add(first, second);
}

// Spouge: Gamma(w + 1) ~ (w + N)^(w + 1/2) e^-(w + N) S with N = 80,
// S = c_0 + sum_{k=1}^{N-1} c_k / (w + k), c_0 = sqrt(2 pi),
// c_k = (-1)^(k-1) exp(((k - 1/2) ln(N - k) + (N - k)) - ln((k - 1)!)).
Result<Hp> ln_gamma_spouge(const HpContext& ctx, double a) {
  Hp w, one, s, two, ln_fact, wn;
  QUENFA_HP_TRY(w, ctx.from_f64(a));
  QUENFA_HP_TRY(one, ctx.from_u64(1));
  QUENFA_HP_TRY(w, ctx.sub(w, one));
  QUENFA_HP_TRY(s, ctx.pi());
  QUENFA_HP_TRY(two, ctx.from_u64(2));
  QUENFA_HP_TRY(s, ctx.mul(s, two));
  QUENFA_HP_TRY(s, ctx.sqrt(s));
  // ln((k - 1)!) kept as a running sum: the same additions, in the same
  // order, as ln_factorial(k - 1) performs.
  QUENFA_HP_TRY(ln_fact, ctx.from_u64(0));
  for (std::uint64_t k = 1; k < kSpougeParameter; ++k) {
    if (k >= 3) {
      Hp ln_k1;
      QUENFA_HP_TRY(ln_k1, ctx.from_u64(k - 1));
      QUENFA_HP_TRY(ln_k1, ctx.ln(ln_k1));
      QUENFA_HP_TRY(ln_fact, ctx.add(ln_fact, ln_k1));
    }
    Hp k_half, rest, rest_ln, c, wk;
    QUENFA_HP_TRY(k_half, ctx.from_f64(static_cast<double>(k) - 0.5));
    QUENFA_HP_TRY(rest, ctx.from_u64(kSpougeParameter - k));
    QUENFA_HP_TRY(rest_ln, ctx.ln(rest));
    QUENFA_HP_TRY(c, ctx.mul(k_half, rest_ln));
    QUENFA_HP_TRY(c, ctx.add(c, rest));
    QUENFA_HP_TRY(c, ctx.sub(c, ln_fact));
    QUENFA_HP_TRY(c, ctx.exp(c));
    if (k % 2 == 0) c = c.negated();
    QUENFA_HP_TRY(wk, ctx.from_u64(k));
    QUENFA_HP_TRY(wk, ctx.add(w, wk));
    QUENFA_HP_TRY(c, ctx.div(c, wk));
    QUENFA_HP_TRY(s, ctx.add(s, c));
  }
  Hp half, power, n;
  QUENFA_HP_TRY(n, ctx.from_u64(kSpougeParameter));
  QUENFA_HP_TRY(wn, ctx.add(w, n));  // w + 80, computed once
  QUENFA_HP_TRY(half, ctx.from_f64(0.5));
  QUENFA_HP_TRY(half, ctx.add(w, half));
  QUENFA_HP_TRY(power, ctx.ln(wn));
  QUENFA_HP_TRY(power, ctx.mul(half, power));
  QUENFA_HP_TRY(power, ctx.sub(power, wn));
  QUENFA_HP_TRY(s, ctx.ln(s));
  return ctx.add(power, s);
}

Result<Hp> ln_gamma(const HpContext& ctx, double a) {
  if (a >= 1.0 && a <= kTwoTo64 && std::floor(a) == a) return ln_gamma_integer(ctx, a);
  const double k = a - 0.5;  // exact for every half-integer double
  if (k >= 0.0 && k <= kTwoTo64 && std::floor(k) == k) {
    return ln_gamma_half_integer(ctx, static_cast<std::uint64_t>(k));
  }
  if (ctx.working_precision() >= kSpougeMinBits) return ln_gamma_spouge(ctx, a);
  // Spouge's sum cancels about 98 bits (its terms reach 5.5e43): at W = 64
  // or 128 bits lnGamma would be off by up to 23. Evaluate it at 192 bits and
  // bring it back to W with one rounding (0 + lnGamma in ctx).
  const HpContext wide(kSpougeMinBits, false);
  Hp lg, zero;
  QUENFA_HP_TRY(lg, ln_gamma_spouge(wide, a));
  QUENFA_HP_TRY(zero, ctx.from_u64(0));
  return ctx.add(zero, lg);
}

}  // namespace

Result<Hp> gamma_prefactor(const HpContext& ctx, double a, const Hp& z) {
  Hp lg, ha, t;
  QUENFA_HP_TRY(lg, ln_gamma(ctx, a));
  QUENFA_HP_TRY(ha, ctx.from_f64(a));
  QUENFA_HP_TRY(t, ctx.ln(z));
  QUENFA_HP_TRY(t, ctx.mul(ha, t));
  QUENFA_HP_TRY(t, ctx.sub(t, z));
  QUENFA_HP_TRY(t, ctx.sub(t, lg));
  return ctx.exp(t);
}

}  // namespace quenfa::blitz
