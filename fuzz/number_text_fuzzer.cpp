// Strict number syntax: whatever it accepts, the C library reads to the same
// bits; whatever the C library reads whole as plain decimal, it accepts; the
// shortest forms it prints read back to the same value.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "fuzz_support.hpp"
#include "quenfa/decor/number_text.hpp"

namespace {

template <class T>
bool same_bits(T a, T b) {
  if (std::isnan(a) || std::isnan(b)) {
    return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  }
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// The C library's reading of the whole text, or absent when it stops early.
// strtod and strtof round correctly and give infinities and zeros out of range.
template <class T>
std::optional<T> c_library_reading(const std::string& text) {
  char* end = nullptr;
  const T value = sizeof(T) == sizeof(float) ? std::strtof(text.c_str(), &end)
                                             : std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

// Forms the C library also reads that the strict syntax excludes: leading
// blanks, hexadecimal, "nan(...)".
bool has_extended_form(std::string_view text) {
  return text.find_first_of(" \t\n\v\f\rxX(") != std::string_view::npos;
}

template <class T>
void check_agrees_with_c_library(const std::string& text, const std::optional<T>& parsed) {
  const std::optional<T> c = c_library_reading<T>(text);
  if (parsed) {
    FUZZ_CHECK(c.has_value() && same_bits(*parsed, *c));
  } else {
    FUZZ_CHECK(!c || has_extended_form(text));
  }
}

std::string shortest_float(float x) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, x);
  FUZZ_CHECK(ec == std::errc());
  return std::string(buffer, end);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<double> d = quenfa::decor::parse_float64(text);
  const std::optional<float> f = quenfa::decor::parse_float32(text);
  FUZZ_CHECK(d.has_value() == f.has_value());
  check_agrees_with_c_library(text, d);
  check_agrees_with_c_library(text, f);
  if (d) {
    const std::optional<double> back =
        quenfa::decor::parse_float64(quenfa::decor::display_number(*d));
    FUZZ_CHECK(back && (std::isnan(*d) ? std::isnan(*back) : same_bits(*back, *d)));
  }
  if (f) {
    const std::optional<float> back = quenfa::decor::parse_float32(shortest_float(*f));
    FUZZ_CHECK(back && same_bits(*back, *f));
    const std::optional<double> fixed =
        quenfa::decor::parse_float64(quenfa::decor::format_redundancy(*f));
    // Within half a unit of the 8th decimal, plus the rounding of reading it.
    FUZZ_CHECK(!std::isfinite(*f) ||
               (fixed && std::abs(*fixed - *f) <= 5e-9 + std::abs(*f) * 0x1p-52));
  }
  return 0;
}
