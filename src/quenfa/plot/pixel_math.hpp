// Conversions from plot geometry to whole pixels.
#pragma once

#include <cmath>
#include <cstdint>

namespace quenfa::plot {

// Rounds halves away from zero and saturates to the signed 32-bit range;
// NaN becomes 0.
inline std::int32_t round_to_i32(double x) {
  if (std::isnan(x)) return 0;
  const double r = std::round(x);
  if (r >= 2147483647.0) return INT32_MAX;
  if (r <= -2147483648.0) return INT32_MIN;
  return static_cast<std::int32_t>(r);
}

// Truncates toward zero with the same saturation.
inline std::int32_t trunc_to_i32(double x) {
  return round_to_i32(std::trunc(x));
}

// A margin or offset of c single-size pixels at pixel scale s (f32 product).
inline std::int32_t scaled_px(float c, float s) {
  return round_to_i32(c * s);
}

// round(inches * dpi) in double precision, clamped to [0, 4294967295].
inline std::uint32_t inches_to_pixels(double inches, std::uint32_t dpi) {
  const double r = std::round(inches * static_cast<double>(dpi));
  if (!(r > 0.0)) return 0;
  if (r >= 4294967295.0) return UINT32_MAX;
  return static_cast<std::uint32_t>(r);
}

}  // namespace quenfa::plot
