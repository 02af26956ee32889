#include "quenfa/blitz/mpmath/hp_context.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "quenfa/core/internal_fault.hpp"

namespace quenfa::blitz {

namespace {

// Bits per decimal digit, as mpmath converts dps to prec.
constexpr double kBitsPerDigit = 3.321928094887362;

mpfr_prec_t working_bits(mpfr_prec_t precision) {
  return (precision + 63) / 64 * 64;
}

// `value` rounded to exactly `precision` bits (nearest, ties to even), kept
// in a number of its own precision.
void round_in_place(Hp& value, mpfr_prec_t precision) {
  Hp narrow(precision);
  mpfr_set(narrow.raw(), value.raw(), MPFR_RNDN);
  mpfr_set(value.raw(), narrow.raw(), MPFR_RNDN);  // exact: widening
}

}  // namespace

HpContext::HpContext(mpfr_prec_t precision, bool round_results)
    : precision_(precision), working_(working_bits(precision)), round_results_(round_results) {
  QUENFA_ENSURE(precision >= 1 && precision <= kMaxPrecision,
                "high-precision context precision out of range");
}

Result<HpContext> HpContext::for_digit_multiple(double scaled_digits, bool round_results) {
  // round() is half away from zero, as the reference rounds.
  const double bits = std::max(1.0, std::round(scaled_digits * kBitsPerDigit));
  if (!(bits <= static_cast<double>(kMaxPrecision))) {
    return Error{"blitz mpmath fallback dps is too large"};
  }
  return HpContext(static_cast<mpfr_prec_t>(bits), round_results);
}

Result<HpContext> HpContext::for_gammacdf(std::uint64_t digits) {
  if (digits >= (std::uint64_t{1} << 63)) return Error{"blitz mpmath fallback dps is too large"};
  return for_digit_multiple(static_cast<double>(2 * digits + 1), false);
}

Result<HpContext> HpContext::for_tail(std::uint64_t digits) {
  if (digits >= (std::uint64_t{1} << 63)) return Error{"blitz mpmath fallback dps is too large"};
  return for_digit_multiple(static_cast<double>(digits + 1), true);
}

Result<Hp> HpContext::checked(Hp x) const {
  if (x.is_nan()) return Error{"blitz mpmath fallback produced NaN"};
  if (round_results_ && x.is_finite()) round_in_place(x, precision_);
  return x;
}

Result<Hp> HpContext::round_to_context(Hp x) const {
  if (x.is_finite()) round_in_place(x, precision_);
  return checked(std::move(x));
}

Result<Hp> HpContext::from_f64(double x) const {
  Hp r = fresh();
  mpfr_set_d(r.raw(), x, MPFR_RNDN);
  return checked(std::move(r));
}

Result<Hp> HpContext::from_u64(std::uint64_t n) const {
  Hp r = fresh();
  mpfr_set_uj(r.raw(), n, MPFR_RNDN);
  return checked(std::move(r));
}

Result<Hp> HpContext::pi() const {
  Hp r = fresh();
  mpfr_const_pi(r.raw(), MPFR_RNDN);
  return checked(std::move(r));
}

Result<Hp> HpContext::add(const Hp& a, const Hp& b) const {
  return binary(mpfr_add, a, b);
}
Result<Hp> HpContext::sub(const Hp& a, const Hp& b) const {
  return binary(mpfr_sub, a, b);
}
Result<Hp> HpContext::mul(const Hp& a, const Hp& b) const {
  return binary(mpfr_mul, a, b);
}
Result<Hp> HpContext::div(const Hp& a, const Hp& b) const {
  return binary(mpfr_div, a, b);
}
Result<Hp> HpContext::abs(const Hp& x) const {
  return unary(mpfr_abs, x);
}
// MPFR: ln(+-0) = -inf, ln(+inf) = +inf, ln(x < 0) = NaN.
Result<Hp> HpContext::ln(const Hp& x) const {
  return unary(mpfr_log, x);
}
Result<Hp> HpContext::exp(const Hp& x) const {
  return unary(mpfr_exp, x);
}
Result<Hp> HpContext::sqrt(const Hp& x) const {
  return unary(mpfr_sqrt, x);
}

Result<Hp> HpContext::unary(UnaryOp op, const Hp& x) const {
  Hp r = fresh();
  op(r.raw(), x.raw(), MPFR_RNDN);
  return checked(std::move(r));
}

Result<Hp> HpContext::binary(BinaryOp op, const Hp& a, const Hp& b) const {
  Hp r = fresh();
  op(r.raw(), a.raw(), b.raw(), MPFR_RNDN);
  return checked(std::move(r));
}

}  // namespace quenfa::blitz
