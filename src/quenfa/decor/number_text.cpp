#include "quenfa/decor/number_text.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>

#include "quenfa/core/internal_fault.hpp"

namespace quenfa::decor {

namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

bool equals_ignoring_case(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

// Shape of a decimal literal after its sign, or absent when `body` is not
// one. `magnitude` is the decimal exponent of the first non-zero digit (only
// meaningful when `nonzero`), used to tell overflow from underflow.
struct DecimalShape {
  bool special = false;  // inf, infinity or nan
  bool nonzero = false;
  long long magnitude = 0;
};

std::optional<DecimalShape> decimal_shape(std::string_view body) {
  if (equals_ignoring_case(body, "inf") || equals_ignoring_case(body, "infinity") ||
      equals_ignoring_case(body, "nan")) {
    return DecimalShape{true, false, 0};
  }
  DecimalShape shape;
  std::size_t i = 0, digits = 0;
  long long integer_digits = 0, leading_fraction_zeros = 0;
  bool seen_nonzero = false;
  for (; i < body.size() && is_digit(body[i]); ++i, ++digits) {
    if (body[i] != '0') seen_nonzero = true;
    if (seen_nonzero) ++integer_digits;
  }
  if (i < body.size() && body[i] == '.') {
    for (++i; i < body.size() && is_digit(body[i]); ++i, ++digits) {
      if (!seen_nonzero && body[i] == '0') ++leading_fraction_zeros;
      if (body[i] != '0') seen_nonzero = true;
    }
  }
  if (digits == 0) return std::nullopt;
  long long exponent = 0;
  if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) negative = body[i++] == '-';
    const std::size_t first = i;
    for (; i < body.size() && is_digit(body[i]); ++i) {
      if (exponent < 1000000000) exponent = exponent * 10 + (body[i] - '0');  // saturates
    }
    if (i == first) return std::nullopt;
    if (negative) exponent = -exponent;
  }
  if (i != body.size()) return std::nullopt;
  shape.nonzero = seen_nonzero;
  shape.magnitude =
      (integer_digits > 0 ? integer_digits - 1 : -leading_fraction_zeros - 1) + exponent;
  return shape;
}

template <class T>
std::optional<T> parse_decimal(std::string_view text) {
  bool negative = false;
  std::string_view body = text;
  if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
    negative = body[0] == '-';
    body.remove_prefix(1);
  }
  const std::optional<DecimalShape> shape = decimal_shape(body);
  if (!shape) return std::nullopt;
  T value{};
  const auto [end, ec] =
      std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Out of range only far above the largest or below the smallest value.
    value = shape->magnitude >= 0 ? std::numeric_limits<T>::infinity() : T(0);
  } else {
    QUENFA_ENSURE(ec == std::errc() && end == body.data() + body.size(),
                  "decimal text accepted by the syntax check must convert");
  }
  return negative ? -value : value;
}

}  // namespace

std::optional<float> parse_float32(std::string_view text) {
  return parse_decimal<float>(text);
}
std::optional<double> parse_float64(std::string_view text) {
  return parse_decimal<double>(text);
}

std::string display_number(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x < 0 ? "-inf" : "inf";
  // Shortest round-trip digits first, then placed around the point.
  char buffer[64];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::scientific);
  QUENFA_ENSURE(ec == std::errc(), "a double fits in 64 characters");
  const std::string_view sci(buffer, static_cast<std::size_t>(end - buffer));
  const std::size_t e = sci.find('e');
  std::string out;
  std::size_t start = 0;
  if (sci[0] == '-') {
    out.push_back('-');
    start = 1;
  }
  std::string digits;
  for (std::size_t i = start; i < e; ++i) {
    if (sci[i] != '.') digits.push_back(sci[i]);
  }
  const long exponent = std::strtol(std::string(sci.substr(e + 1)).c_str(), nullptr, 10);
  const long n = static_cast<long>(digits.size());
  if (exponent >= n - 1) {
    out += digits;
    out.append(static_cast<std::size_t>(exponent - (n - 1)), '0');
  } else if (exponent >= 0) {
    out += digits.substr(0, static_cast<std::size_t>(exponent + 1));
    out.push_back('.');
    out += digits.substr(static_cast<std::size_t>(exponent + 1));
  } else {
    out += "0.";
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
  }
  return out;
}

std::string format_redundancy(float x) {
  // Every float is exactly a double, and the fixed-precision conversion is
  // exact with ties to even.
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(x),
                                       std::chars_format::fixed, 8);
  QUENFA_ENSURE(ec == std::errc(), "a redundancy score fits in 64 characters");
  return std::string(buffer, end);
}

}  // namespace quenfa::decor
