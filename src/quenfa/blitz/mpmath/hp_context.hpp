// Precision contexts of the high-precision numbers: a precision p in bits and
// a flag saying whether every result is rounded to p bits. Each operation is
// computed with a significand of W = ceil(p / 64) * 64 bits, correctly rounded
// (nearest, ties to even), then passes through `checked`.
//
// Infinities are ordinary values (ln(+-0) = -inf, exp(-inf) = +0,
// inf - finite = inf, ...); a NaN result is an error, so every operation
// returns Result<Hp>. QUENFA_HP_TRY (hp_try.hpp) unwraps them.
#pragma once

#include <cstdint>

#include "quenfa/blitz/mpmath/hp.hpp"
#include "quenfa/core/result.hpp"

namespace quenfa::blitz {

class HpContext {
 public:
  // 1 <= precision <= HpContext::kMaxPrecision.
  HpContext(mpfr_prec_t precision, bool round_results);

  // The context of gammacdf for `digits` decimal digits:
  // p = max(1, round((2 d + 1) * 3.321928094887362)), results not rounded.
  static Result<HpContext> for_gammacdf(std::uint64_t digits);
  // The context of the tail arithmetic after the fallback:
  // p' = max(1, round((d + 1) * 3.321928094887362)), every result rounded.
  // Both fail with "blitz mpmath fallback dps is too large" for d >= 2^63 or
  // a precision MPFR cannot hold.
  static Result<HpContext> for_tail(std::uint64_t digits);

  // Capped far below what MPFR can address (2^22 bits, about 1.26 million
  // decimal digits): beyond it a single series would need gigabytes and run
  // for hours, and MPFR aborts the process when memory runs out.
  static constexpr mpfr_prec_t kMaxPrecision = mpfr_prec_t{1} << 22;

  mpfr_prec_t precision() const { return precision_; }
  mpfr_prec_t working_precision() const { return working_; }
  bool rounds_results() const { return round_results_; }

  Result<Hp> from_f64(double x) const;
  Result<Hp> from_u64(std::uint64_t n) const;
  Result<Hp> pi() const;

  Result<Hp> add(const Hp& a, const Hp& b) const;
  Result<Hp> sub(const Hp& a, const Hp& b) const;
  Result<Hp> mul(const Hp& a, const Hp& b) const;
  Result<Hp> div(const Hp& a, const Hp& b) const;
  Result<Hp> abs(const Hp& x) const;
  Result<Hp> ln(const Hp& x) const;
  Result<Hp> exp(const Hp& x) const;
  Result<Hp> sqrt(const Hp& x) const;

  // NaN -> "blitz mpmath fallback produced NaN"; with the flag set, a finite
  // value is rounded to exactly p bits (nearest, ties to even).
  Result<Hp> checked(Hp x) const;
  // A finite value rounded to exactly p bits whatever the flag, then checked.
  Result<Hp> round_to_context(Hp x) const;

 private:
  static Result<HpContext> for_digit_multiple(double scaled_digits, bool round_results);
  using UnaryOp = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
  using BinaryOp = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_srcptr, mpfr_rnd_t);
  // op computed at W bits, nearest, then checked.
  Result<Hp> unary(UnaryOp op, const Hp& x) const;
  Result<Hp> binary(BinaryOp op, const Hp& a, const Hp& b) const;
  Hp fresh() const { return Hp(working_); }

  mpfr_prec_t precision_;
  mpfr_prec_t working_;
  bool round_results_;
};

}  // namespace quenfa::blitz
