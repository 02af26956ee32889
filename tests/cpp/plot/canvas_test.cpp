#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "quenfa/plot/canvas.hpp"

namespace quenfa::plot {
namespace {

constexpr RgbaColor kRed{200, 0, 0, 255};

bool same(RgbaColor a, RgbaColor b) {
  return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

int count_touched(const Canvas& c, RgbaColor background) {
  int n = 0;
  for (std::uint32_t y = 0; y < c.height(); ++y) {
    for (std::uint32_t x = 0; x < c.width(); ++x) n += !same(c.at(x, y), background);
  }
  return n;
}

TEST(PlotCanvas, BackgroundIsOpaqueOrTransparentWhite) {
  EXPECT_TRUE(same(Canvas(3, 2, background_color(false)).at(2, 1), {255, 255, 255, 255}));
  EXPECT_TRUE(same(Canvas(3, 2, background_color(true)).at(2, 1), {255, 255, 255, 0}));
}

TEST(PlotCanvas, FillRectClipsToTheCanvas) {
  Canvas c(5, 4, kOpaqueBackground);
  fill_rect(c, -2, 2, 4, 10, kRed);  // covers x 0..1, y 2..3 on the canvas
  EXPECT_EQ(count_touched(c, kOpaqueBackground), 4);
  EXPECT_TRUE(same(c.at(1, 3), kRed));
  EXPECT_FALSE(same(c.at(2, 3), kRed));
}

TEST(PlotCanvas, BresenhamIncludesBothEndsInEitherDirection) {
  for (bool reversed : {false, true}) {
    Canvas c(8, 8, kOpaqueBackground);
    if (reversed) {
      draw_line(c, 6.9f, 3.2f, 1.0f, 1.0f, kRed);
    } else {
      draw_line(c, 1.0f, 1.0f, 6.9f, 3.2f, kRed);  // truncated to (1, 1)-(6, 3)
    }
    EXPECT_TRUE(same(c.at(1, 1), kRed));
    EXPECT_TRUE(same(c.at(6, 3), kRed));
    EXPECT_EQ(count_touched(c, kOpaqueBackground), 6);
  }
}

TEST(PlotCanvas, AntialiasedLineBlendsByDistance) {
  // Horizontal between integer points: exactly the colour.
  Canvas flat(6, 3, kOpaqueBackground);
  draw_antialiased_line(flat, 1, 1, 4, 1, kRed);
  for (int x = 1; x <= 4; ++x) EXPECT_TRUE(same(flat.at(x, 1), kRed));
  EXPECT_EQ(count_touched(flat, kOpaqueBackground), 4);

  // Slope 1/2 from (0, 0): at x = 1 the line sits half-way between rows 0 and
  // 1, so both get weight 0.5: 200 * 0.5 + 255 * 0.5 = 227.5 -> 227.
  Canvas slope(5, 3, kOpaqueBackground);
  draw_antialiased_line(slope, 4, 2, 0, 0, kRed);
  EXPECT_TRUE(same(slope.at(1, 0), {227, 127, 127, 255}));
  EXPECT_TRUE(same(slope.at(1, 1), {227, 127, 127, 255}));
  EXPECT_TRUE(same(slope.at(2, 1), kRed));
  EXPECT_TRUE(same(slope.at(4, 2), kRed));

  // Alpha is blended too: on a transparent canvas it follows the weight.
  Canvas clear(5, 3, kTransparentBackground);
  draw_antialiased_line(clear, 0, 0, 4, 2, kRed);
  EXPECT_EQ(clear.at(1, 0).a, 127);
}

TEST(PlotCanvas, ThickSegmentIsParallelOnePixelLines) {
  Canvas one(10, 10, kOpaqueBackground);
  draw_thick_line_segment(one, 1.0f, 5.0f, 8.0f, 5.0f, 0, kRed);
  EXPECT_EQ(count_touched(one, kOpaqueBackground), 8);

  Canvas three(10, 10, kOpaqueBackground);
  draw_thick_line_segment(three, 1.0f, 5.0f, 8.0f, 5.0f, 1, kRed);
  EXPECT_EQ(count_touched(three, kOpaqueBackground), 24);
  EXPECT_TRUE(same(three.at(4, 4), kRed));
  EXPECT_TRUE(same(three.at(4, 6), kRed));

  // Both ends equal: one pixel at the rounded point, whatever the half width.
  Canvas dot(10, 10, kOpaqueBackground);
  draw_thick_line_segment(dot, 3.5f, 2.4f, 3.5f, 2.4f, 4, kRed);
  EXPECT_EQ(count_touched(dot, kOpaqueBackground), 1);
  EXPECT_TRUE(same(dot.at(4, 2), kRed));
}

TEST(PlotCanvas, DegenerateSegmentsStayOnTheCanvasAndFinish) {
  // Non-finite plot data saturates to the ends of the 32-bit range.
  Canvas c(16, 16, kOpaqueBackground);
  draw_antialiased_line(c, INT_MIN, INT_MIN, INT_MAX, INT_MAX, kRed);
  draw_antialiased_line(c, 3, INT_MAX, 4, 5, kRed);
  draw_thick_line_segment(c, 2.0f, NAN, 9.0f, INFINITY, 1, kRed);
  EXPECT_TRUE(same(c.at(8, 8), kRed));
}

}  // namespace
}  // namespace quenfa::plot
