#include "quenfa/plot/text.hpp"

#include <cmath>
#include <vector>

#include "quenfa/plot/pixel_math.hpp"

namespace quenfa::plot {

namespace {

// Code points of UTF-8 text; a malformed byte becomes U+FFFD.
std::vector<char32_t> decode_utf8(std::string_view text) {
  std::vector<char32_t> out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t len = lead < 0x80       ? 1
                            : lead >> 5 == 6  ? 2
                            : lead >> 4 == 14 ? 3
                            : lead >> 3 == 30 ? 4
                                              : 0;
    bool valid = len != 0 && i + len <= text.size();
    char32_t c = len == 1 ? lead : len == 2 ? lead & 0x1f : len == 3 ? lead & 0x0f : lead & 0x07;
    for (std::size_t k = 1; valid && k < len; ++k) {
      const auto cont = static_cast<unsigned char>(text[i + k]);
      valid = (cont & 0xc0) == 0x80;
      c = (c << 6) | (cont & 0x3f);
    }
    out.push_back(valid ? c : U'\uFFFD');
    i += valid ? len : 1;
  }
  return out;
}

struct PlacedGlyph {
  std::uint32_t glyph;
  float pen;  // left offset of the glyph origin
};

struct Layout {
  std::vector<PlacedGlyph> glyphs;
  float end_pen = 0.0f;
  float pixels_per_unit = 0.0f;
};

Layout lay_out(const Font& font, float scale, std::string_view text) {
  Layout layout;
  layout.pixels_per_unit = scale / (font.ascent() - font.descent());
  float pen = 0.0f;
  for (char32_t c : decode_utf8(text)) {
    const std::uint32_t glyph = font.glyph_index(c);
    if (!layout.glyphs.empty()) {
      pen += font.kerning(layout.glyphs.back().glyph, glyph) * layout.pixels_per_unit;
    }
    layout.glyphs.push_back({glyph, pen});
    pen += font.advance(glyph) * layout.pixels_per_unit;
  }
  layout.end_pen = pen;
  return layout;
}

// Source-over of (colour, alpha a / 255) on values scaled to [0, 1].
void composite(std::uint8_t* p, RgbaColor color, std::uint8_t a) {
  const float as = static_cast<float>(a) / 255.0f;
  const float ad = static_cast<float>(p[3]) / 255.0f;
  const float ao = as + ad - as * ad;
  if (ao == 0.0f) return;
  const float src[3] = {static_cast<float>(color.r), static_cast<float>(color.g),
                        static_cast<float>(color.b)};
  for (int k = 0; k < 3; ++k) {
    const float cs = src[k] / 255.0f, cd = static_cast<float>(p[k]) / 255.0f;
    p[k] = static_cast<std::uint8_t>((cs * as + cd * ad * (1.0f - as)) / ao * 255.0f);
  }
  p[3] = static_cast<std::uint8_t>(ao * 255.0f);
}

}  // namespace

TextSize measure_text(const Font& font, float scale, std::string_view text) {
  if (text.empty()) return {};
  const Layout layout = lay_out(font, scale, text);
  const float line = (font.ascent() - font.descent()) * layout.pixels_per_unit;
  return {static_cast<std::uint32_t>(1 + std::max(0.0f, std::ceil(layout.end_pen))),
          static_cast<std::uint32_t>(std::max(0.0f, std::ceil(line)))};
}

void draw_text(Canvas& canvas, RgbaColor color, std::int32_t x, std::int32_t y, float scale,
               const Font& font, std::string_view text) {
  const Layout layout = lay_out(font, scale, text);
  const float baseline = static_cast<float>(y) + font.ascent() * layout.pixels_per_unit;
  for (const PlacedGlyph& placed : layout.glyphs) {
    const GlyphCoverage cov = font.rasterize(placed.glyph, layout.pixels_per_unit,
                                             static_cast<float>(x) + placed.pen, baseline);
    for (std::uint32_t r = 0; r < cov.rows; ++r) {
      for (std::uint32_t c = 0; c < cov.width; ++c) {
        const std::uint8_t a = cov.alpha[std::size_t{r} * cov.width + c];
        const std::int64_t px = cov.left + c, py = cov.top + r;
        if (a == 0 || !canvas.contains(px, py)) continue;
        std::uint8_t* p = canvas.pixel(px, py);
        if (a == 255) {
          p[0] = color.r;
          p[1] = color.g;
          p[2] = color.b;
          p[3] = color.a;
        } else {
          composite(p, color, a);
        }
      }
    }
  }
}

void draw_text_centered(Canvas& canvas, const Font& font, std::int32_t cx, std::int32_t y,
                        std::string_view text, float scale, RgbaColor color) {
  const TextSize size = measure_text(font, scale, text);
  draw_text(canvas, color, cx - static_cast<std::int32_t>(size.width) / 2, y, scale, font, text);
}

void draw_vertical_text_centered(Canvas& canvas, const Font& font, std::int32_t cx, std::int32_t cy,
                                 float scale) {
  constexpr std::string_view kLabel = "enrichment score";
  const TextSize size = measure_text(font, scale, kLabel);
  const std::uint32_t w = size.width + 16, h = size.height + 16;
  Canvas scratch(w, h, {0, 0, 0, 0});
  draw_text(scratch, {0, 0, 0, 255}, 8, 8, scale, font, kLabel);
  // A quarter turn counter-clockwise: scratch (x, j) lands at column j,
  // row w - 1 - x of an h x w image placed with its top-left at (left, top).
  const std::int64_t left = std::int64_t{cx} - h / 2, top = std::int64_t{cy} - w / 2;
  for (std::uint32_t j = 0; j < h; ++j) {
    for (std::uint32_t x = 0; x < w; ++x) {
      const std::uint8_t* src = scratch.pixel(x, j);
      const std::int64_t tx = left + j, ty = top + (w - 1 - x);
      if (src[3] == 0 || !canvas.contains(tx, ty)) continue;
      const float coverage = static_cast<float>(src[3]) / 255.0f;
      std::uint8_t* dst = canvas.pixel(tx, ty);
      for (int k = 0; k < 4; ++k) {
        const float v =
            static_cast<float>(dst[k]) * (1.0f - coverage) + static_cast<float>(src[k]) * coverage;
        dst[k] = static_cast<std::uint8_t>(round_to_i32(v));
      }
    }
  }
}

}  // namespace quenfa::plot
