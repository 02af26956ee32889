// Number labels of the plots.
#pragma once

#include <string>

namespace quenfa::plot {

// One-decimal mantissa and a short exponent: 0.0123 -> "1.2e-2", 123 ->
// "1.2e2"; "NA" when not finite, "0" for either zero. The mantissa is not
// renormalised after rounding (9.96 -> "10.0e0").
std::string format_scientific_value(double value);

// Fixed-point with `decimals` digits after the point, rounded from the exact
// binary value with ties to even; never an exponent.
std::string format_fixed(double value, int decimals);

}  // namespace quenfa::plot
