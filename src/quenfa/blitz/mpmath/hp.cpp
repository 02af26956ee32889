#include "quenfa/blitz/mpmath/hp.hpp"

#include <utility>

namespace quenfa::blitz {

namespace {
constexpr mpfr_prec_t kDefaultPrecision = 64;
}  // namespace

Hp::Hp() {
  mpfr_init2(value_, kDefaultPrecision);
  mpfr_set_zero(value_, 1);
}

Hp::Hp(mpfr_prec_t precision) {
  mpfr_init2(value_, precision);
}

Hp::Hp(const Hp& other) {
  mpfr_init2(value_, other.precision());
  mpfr_set(value_, other.value_, MPFR_RNDN);  // exact: same precision
}

// The moved-from value keeps a valid (minimal) number, so it can be destroyed
// or assigned to.
Hp::Hp(Hp&& other) noexcept {
  mpfr_init2(value_, MPFR_PREC_MIN);
  mpfr_swap(value_, other.value_);
}

Hp& Hp::operator=(const Hp& other) {
  if (this != &other) {
    mpfr_set_prec(value_, other.precision());
    mpfr_set(value_, other.value_, MPFR_RNDN);
  }
  return *this;
}

Hp& Hp::operator=(Hp&& other) noexcept {
  mpfr_swap(value_, other.value_);
  return *this;
}

Hp::~Hp() {
  mpfr_clear(value_);
}

Hp Hp::negated() const {
  Hp result(precision());
  mpfr_neg(result.value_, value_, MPFR_RNDN);
  return result;
}

std::partial_ordering operator<=>(const Hp& a, const Hp& b) {
  if (mpfr_unordered_p(a.value_, b.value_)) return std::partial_ordering::unordered;
  const int c = mpfr_cmp(a.value_, b.value_);
  if (c < 0) return std::partial_ordering::less;
  if (c > 0) return std::partial_ordering::greater;
  return std::partial_ordering::equivalent;
}

bool operator==(const Hp& a, const Hp& b) {
  return mpfr_equal_p(a.value_, b.value_) != 0;
}

double render_f64(const Hp& x) {
  return mpfr_get_d(x.raw(), MPFR_RNDN);
}

void release_hp_thread_caches() {
  mpfr_free_cache2(MPFR_FREE_LOCAL_CACHE);
}

}  // namespace quenfa::blitz
