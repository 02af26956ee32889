// Text measured and drawn with a font at a uniform pixel scale: ascent minus
// descent spans `scale` pixels, and a line whose top is at y has its baseline
// at y + ascent * scale / (ascent - descent).
#pragma once

#include <cstdint>
#include <string_view>

#include "quenfa/plot/canvas.hpp"
#include "quenfa/plot/font.hpp"

namespace quenfa::plot {

struct TextSize {
  std::uint32_t width = 0, height = 0;
};

// width = 1 + ceil(pen after the last glyph), height = ceil(scaled line
// height); an empty text measures (0, 0).
TextSize measure_text(const Font& font, float scale, std::string_view text);

// Draws `text` (UTF-8) with its left at x and its line top at y, compositing
// the glyph coverage over the canvas.
void draw_text(Canvas& canvas, RgbaColor color, std::int32_t x, std::int32_t y, float scale,
               const Font& font, std::string_view text);

// As draw_text, centred horizontally on cx; y stays the top of the text.
void draw_text_centered(Canvas& canvas, const Font& font, std::int32_t cx, std::int32_t y,
                        std::string_view text, float scale, RgbaColor color);

// Draws the fixed label "enrichment score" in black, reading from bottom to
// top, centred on (cx, cy).
void draw_vertical_text_centered(Canvas& canvas, const Font& font, std::int32_t cx, std::int32_t cy,
                                 float scale);

}  // namespace quenfa::plot
