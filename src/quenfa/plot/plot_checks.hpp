// Argument checks and messages shared by the two plot functions.
#pragma once

#include <cmath>
#include <cstdint>

namespace quenfa::plot {

inline constexpr const char* kBadSizeMessage =
    "plot size in inches and dpi must be finite positive values";
inline constexpr const char* kBadGseaParamMessage =
    "gsea_param must be a finite value greater than or equal to 0";
inline constexpr const char* kEmptyRanksMessage = "ranks must not be empty";

inline bool valid_inches(double inches) {
  return std::isfinite(inches) && inches > 0.0;
}

// Finite and not below 0 (-0 included).
inline bool valid_gsea_param(double p) {
  return std::isfinite(p) && p >= 0.0;
}

}  // namespace quenfa::plot
