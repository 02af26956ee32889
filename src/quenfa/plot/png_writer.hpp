// PNG output that records the image resolution.
#pragma once

#include <cstdint>
#include <string>

#include "quenfa/core/result.hpp"
#include "quenfa/plot/canvas.hpp"

namespace quenfa::plot {

// Pixels per metre for a resolution in dots per inch: round(dpi / 0.0254),
// at least 1 and at most 4294967295.
std::uint32_t pixels_per_metre(std::uint32_t dpi);

// Writes the canvas as 8-bit straight-alpha RGBA with a pHYs chunk, a level-6
// zlib stream and adaptive row filters, to a temporary file beside `path`
// that is renamed onto it when complete: on any failure the temporary file is
// removed and an earlier file at `path` is left unchanged. An
// operating-system failure reads "{text} (os error {code})".
Status save_png_with_dpi(const Canvas& canvas, const std::string& path, std::uint32_t dpi);

}  // namespace quenfa::plot
