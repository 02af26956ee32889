// Number syntax of the decor files and messages: strict decimal parsing,
// shortest round-trip display without exponent, and the fixed 8-decimal form
// of written redundancy scores.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quenfa::decor {

// Parses the standard decimal syntax: an optional sign, then digits with an
// optional point (at least one digit) and an optional exponent, or "inf",
// "infinity", "nan" in any letter case. No blanks, no hexadecimal forms.
// The value is correctly rounded to the target type; a finite-looking value
// beyond the type's range becomes an infinity, one below its smallest
// subnormal a zero. Absent on a syntax error.
std::optional<float> parse_float32(std::string_view text);
std::optional<double> parse_float64(std::string_view text);

// The shortest decimal that reads back as `x`, written without an exponent
// (150, 100.5, 0.0000001, -0), and "NaN", "inf", "-inf".
std::string display_number(double x);

// The exact value of `x` in fixed notation with 8 decimals, rounded to the
// nearest, ties to even (0.5 -> "0.50000000").
std::string format_redundancy(float x);

}  // namespace quenfa::decor
