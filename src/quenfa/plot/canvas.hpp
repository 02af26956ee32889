// The RGBA canvas and the drawing primitives of the plots. Everything that
// falls outside the canvas is clipped; drawing never fails.
#pragma once

#include <cstdint>
#include <vector>

namespace quenfa::plot {

struct RgbaColor {
  std::uint8_t r, g, b, a;
};

// width x height pixels of straight-alpha RGBA, row by row from the top.
class Canvas {
 public:
  // Throws TooLarge (a std::bad_alloc) when the pixels cannot be addressed or
  // allocated.
  Canvas(std::uint32_t width, std::uint32_t height, RgbaColor background);

  std::uint32_t width() const { return width_; }
  std::uint32_t height() const { return height_; }
  bool contains(std::int64_t x, std::int64_t y) const {
    return x >= 0 && y >= 0 && x < width_ && y < height_;
  }
  std::uint8_t* pixel(std::int64_t x, std::int64_t y) {
    return &bytes_[(static_cast<std::size_t>(y) * width_ + static_cast<std::size_t>(x)) * 4];
  }
  const std::uint8_t* pixel(std::int64_t x, std::int64_t y) const {
    return &bytes_[(static_cast<std::size_t>(y) * width_ + static_cast<std::size_t>(x)) * 4];
  }
  RgbaColor at(std::int64_t x, std::int64_t y) const {
    const std::uint8_t* p = pixel(x, y);
    return {p[0], p[1], p[2], p[3]};
  }
  const std::uint8_t* row(std::uint32_t y) const { return pixel(0, y); }
  std::vector<std::uint8_t>& bytes() { return bytes_; }

 private:
  std::uint32_t width_, height_;
  std::vector<std::uint8_t> bytes_;
};

constexpr RgbaColor kOpaqueBackground{255, 255, 255, 255};
constexpr RgbaColor kTransparentBackground{255, 255, 255, 0};
inline RgbaColor background_color(bool transparent) {
  return transparent ? kTransparentBackground : kOpaqueBackground;
}

// Replaces every pixel of the rectangle that lies on the canvas.
void fill_rect(Canvas& canvas, std::int32_t x, std::int32_t y, std::uint32_t width,
               std::uint32_t height, RgbaColor color);

// Bresenham line between the points truncated toward zero, both ends included.
void draw_line(Canvas& canvas, float x0, float y0, float x1, float y1, RgbaColor color);

// Wu's antialiased line; each touched pixel, alpha included, is blended
// linearly with the colour by its weight.
void draw_antialiased_line(Canvas& canvas, std::int32_t x0, std::int32_t y0, std::int32_t x1,
                           std::int32_t y1, RgbaColor color);

// 2 * half_width + 1 parallel antialiased lines, one pixel apart along the
// segment's unit normal.
void draw_thick_line_segment(Canvas& canvas, float x0, float y0, float x1, float y1,
                             std::int32_t half_width, RgbaColor color);

}  // namespace quenfa::plot
