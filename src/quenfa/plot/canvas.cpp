#include "quenfa/plot/canvas.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>
#include <utility>

#include "quenfa/core/too_large.hpp"
#include "quenfa/plot/pixel_math.hpp"

namespace quenfa::plot {

Canvas::Canvas(std::uint32_t width, std::uint32_t height, RgbaColor background)
    : width_(width), height_(height) {
  const std::size_t max_pixels = std::numeric_limits<std::size_t>::max() / 4;
  const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
  if (height != 0 && width > max_pixels / height) {
    throw TooLarge("a plot canvas of " + size + " is too large to address");
  }
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  try {
    bytes_.resize(pixels * 4);
  } catch (const std::bad_alloc&) {
    throw TooLarge("a plot canvas of " + size + " (" + std::to_string(pixels * 4) +
                   " bytes) does not fit in memory");
  }
  for (std::size_t i = 0; i < pixels; ++i) {
    bytes_[4 * i] = background.r;
    bytes_[4 * i + 1] = background.g;
    bytes_[4 * i + 2] = background.b;
    bytes_[4 * i + 3] = background.a;
  }
}

void fill_rect(Canvas& canvas, std::int32_t x, std::int32_t y, std::uint32_t width,
               std::uint32_t height, RgbaColor color) {
  const std::int64_t left = std::max<std::int64_t>(x, 0);
  const std::int64_t top = std::max<std::int64_t>(y, 0);
  const std::int64_t right = std::min<std::int64_t>(std::int64_t{x} + width, canvas.width());
  const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{y} + height, canvas.height());
  for (std::int64_t row = top; row < bottom; ++row) {
    for (std::int64_t col = left; col < right; ++col) {
      std::uint8_t* p = canvas.pixel(col, row);
      p[0] = color.r;
      p[1] = color.g;
      p[2] = color.b;
      p[3] = color.a;
    }
  }
}

void draw_line(Canvas& canvas, float x0f, float y0f, float x1f, float y1f, RgbaColor color) {
  std::int64_t x = trunc_to_i32(x0f), y = trunc_to_i32(y0f);
  const std::int64_t x1 = trunc_to_i32(x1f), y1 = trunc_to_i32(y1f);
  const std::int64_t dx = std::llabs(x1 - x), dy = -std::llabs(y1 - y);
  const std::int64_t sx = x < x1 ? 1 : -1, sy = y < y1 ? 1 : -1;
  std::int64_t err = dx + dy;
  for (;;) {
    if (canvas.contains(x, y)) {
      std::uint8_t* p = canvas.pixel(x, y);
      p[0] = color.r;
      p[1] = color.g;
      p[2] = color.b;
      p[3] = color.a;
    }
    if (x == x1 && y == y1) break;
    const std::int64_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

namespace {

// Each channel, alpha included: trunc(clamp(colour * w + pixel * (1 - w))).
void blend(Canvas& canvas, std::int64_t x, std::int64_t y, RgbaColor color, float w) {
  if (!canvas.contains(x, y)) return;
  std::uint8_t* p = canvas.pixel(x, y);
  const float src[4] = {static_cast<float>(color.r), static_cast<float>(color.g),
                        static_cast<float>(color.b), static_cast<float>(color.a)};
  for (int k = 0; k < 4; ++k) {
    const float v = src[k] * w + static_cast<float>(p[k]) * (1.0f - w);
    p[k] = static_cast<std::uint8_t>(std::clamp(v, 0.0f, 255.0f));
  }
}

// Segments whose start lies further off the canvas than this along the major
// axis (only degenerate, non-finite plot data produces them) jump straight to
// the canvas edge instead of stepping there pixel by pixel.
constexpr std::int64_t kMaxSteppedSkip = std::int64_t{1} << 20;

}  // namespace

void draw_antialiased_line(Canvas& canvas, std::int32_t x0, std::int32_t y0, std::int32_t x1,
                           std::int32_t y1, RgbaColor color) {
  const bool steep = std::llabs(std::int64_t{y1} - y0) > std::llabs(std::int64_t{x1} - x0);
  std::int64_t m0 = steep ? y0 : x0, n0 = steep ? x0 : y0;
  std::int64_t m1 = steep ? y1 : x1, n1 = steep ? x1 : y1;
  if (m1 < m0) {
    std::swap(m0, m1);
    std::swap(n0, n1);
  }
  const float g = m1 == m0 ? 0.0f : static_cast<float>(n1 - n0) / static_cast<float>(m1 - m0);
  const std::int64_t major_size = steep ? canvas.height() : canvas.width();
  const std::int64_t minor_size = steep ? canvas.width() : canvas.height();
  auto plot = [&](std::int64_t major, std::int64_t minor, float w) {
    if (steep) {
      blend(canvas, minor, major, color, w);
    } else {
      blend(canvas, major, minor, color, w);
    }
  };
  std::int64_t m = m0;
  float f = static_cast<float>(n0);
  if (m < -kMaxSteppedSkip) {
    f += g * static_cast<float>(-m);
    m = 0;
  }
  const std::int64_t last = std::min(m1, major_size - 1);
  for (; m <= last; ++m, f += g) {
    const float t = std::trunc(f);
    // Only minor coordinates that can touch the canvas (NaN fails both tests).
    if (m < 0 || !(t >= -1.0f && t < static_cast<float>(minor_size))) continue;
    const float fr = f - t;
    const auto ti = static_cast<std::int64_t>(t);
    plot(m, ti, 1.0f - fr);
    plot(m, ti + 1, fr);
  }
}

void draw_thick_line_segment(Canvas& canvas, float x0, float y0, float x1, float y1,
                             std::int32_t half_width, RgbaColor color) {
  const float dx = x1 - x0, dy = y1 - y0;
  const float len = std::sqrt(dx * dx + dy * dy);
  if (len <= std::numeric_limits<float>::epsilon()) {
    draw_antialiased_line(canvas, round_to_i32(x0), round_to_i32(y0), round_to_i32(x1),
                          round_to_i32(y1), color);
    return;
  }
  for (std::int64_t o = -std::int64_t{half_width}; o <= half_width; ++o) {
    const float of = static_cast<float>(o);
    const float ox = -dy / len * of, oy = dx / len * of;
    draw_antialiased_line(canvas, round_to_i32(x0 + ox), round_to_i32(y0 + oy),
                          round_to_i32(x1 + ox), round_to_i32(y1 + oy), color);
  }
}

}  // namespace quenfa::plot
