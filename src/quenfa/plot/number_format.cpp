#include "quenfa/plot/number_format.hpp"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "quenfa/plot/pixel_math.hpp"

namespace quenfa::plot {

namespace {

// 10^e by repeated squaring; for e < 0 the reciprocal of 10^|e|.
double power_of_ten(std::int32_t e) {
  std::int64_t n = e < 0 ? -std::int64_t{e} : e;
  double base = 10.0, r = 1.0;
  for (;;) {
    if (n & 1) r *= base;
    n /= 2;
    if (n == 0) break;
    base *= base;
  }
  return e < 0 ? 1.0 / r : r;
}

void replace_all(std::string& s, std::string_view from, std::string_view to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
    s.replace(at, from.size(), to);
  }
}

}  // namespace

std::string format_scientific_value(double value) {
  if (!std::isfinite(value)) return "NA";
  if (value == 0.0) return "0";
  const std::int32_t e = trunc_to_i32(std::floor(std::log10(std::fabs(value))));
  const double mantissa = value / power_of_ten(e);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.1fe%+03d", mantissa, static_cast<int>(e));
  std::string s = buf;
  replace_all(s, "e+0", "e");
  replace_all(s, "e-0", "e-");
  replace_all(s, "e+", "e");
  return s;
}

std::string format_fixed(double value, int decimals) {
  // glibc's printf rounds the exact binary value, ties to even.
  const int n = std::snprintf(nullptr, 0, "%.*f", decimals, value);
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(s.data(), s.size(), "%.*f", decimals, value);
  s.resize(static_cast<std::size_t>(n));
  return s;
}

}  // namespace quenfa::plot
