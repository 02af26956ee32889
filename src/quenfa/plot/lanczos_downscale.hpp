// Halving an image with a separable Lanczos-3 filter.
#pragma once

#include <cstdint>

#include "quenfa/plot/canvas.hpp"

namespace quenfa::plot {

// Resamples a (2 width) x (2 height) canvas to width x height: vertical pass
// first, then horizontal, all four channels alike, in single precision; the
// intermediate image stays unclamped and the result is clamped to [0, 255] and
// rounded.
Canvas downscale_half_lanczos3(const Canvas& source, std::uint32_t width, std::uint32_t height);

}  // namespace quenfa::plot
