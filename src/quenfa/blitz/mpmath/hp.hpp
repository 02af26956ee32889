// Hp: a binary floating-point number of arbitrary precision held by MPFR, with
// significands in whole 64-bit words, or one of +inf, -inf and NaN. Values are
// made by HpContext (hp_context.hpp), which rounds every result; an Hp itself
// only compares, negates exactly and converts to double.
#pragma once

#include <mpfr.h>

#include <compare>

namespace quenfa::blitz {

class Hp {
 public:
  // +0 with a 64-bit significand.
  Hp();
  // A value of `precision` bits, not yet set (NaN); HpContext fills it.
  explicit Hp(mpfr_prec_t precision);
  Hp(const Hp& other);
  Hp(Hp&& other) noexcept;
  Hp& operator=(const Hp& other);
  Hp& operator=(Hp&& other) noexcept;
  ~Hp();

  mpfr_prec_t precision() const { return mpfr_get_prec(value_); }
  bool is_nan() const { return mpfr_nan_p(value_) != 0; }
  bool is_finite() const { return mpfr_number_p(value_) != 0; }
  bool is_zero() const { return mpfr_zero_p(value_) != 0; }
  bool sign_bit() const { return mpfr_signbit(value_) != 0; }

  // -x, exact (same precision).
  Hp negated() const;

  // Numeric comparison; NaN is unordered, -0 equals +0.
  friend std::partial_ordering operator<=>(const Hp& a, const Hp& b);
  friend bool operator==(const Hp& a, const Hp& b);

  mpfr_ptr raw() { return value_; }
  mpfr_srcptr raw() const { return value_; }

 private:
  mpfr_t value_;
};

// The double nearest to `x` (ties to even), subnormals included; an infinity
// gives the infinity of its sign. x is never NaN here (HpContext::checked
// stops NaN first); a NaN gives NaN.
double render_f64(const Hp& x);

// MPFR keeps per-thread caches of constants (pi, ln 2) and a small pool of
// integers; ln, exp and pi fill them. Frees those of the calling thread, so
// that threads which end (per-call pools) leave nothing behind. gammacdf calls
// it before returning.
void release_hp_thread_caches();

}  // namespace quenfa::blitz
