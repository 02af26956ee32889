#include <gtest/gtest.h>

#include "quenfa/plot/lanczos_downscale.hpp"

namespace quenfa::plot {
namespace {

TEST(PlotLanczos, UniformImageStaysUniformInEveryChannel) {
  const Canvas out = downscale_half_lanczos3(Canvas(40, 30, {10, 120, 250, 77}), 20, 15);
  ASSERT_EQ(out.width(), 20u);
  ASSERT_EQ(out.height(), 15u);
  for (std::uint32_t y = 0; y < 15; ++y) {
    for (std::uint32_t x = 0; x < 20; ++x) {
      const RgbaColor p = out.at(x, y);
      EXPECT_TRUE(p.r == 10 && p.g == 120 && p.b == 250 && p.a == 77) << x << "," << y;
    }
  }
}

TEST(PlotLanczos, EdgeStaysBetweenItsTwoColumns) {
  // Left half black, right half white, on 40 columns: the edge lies between
  // output columns 9 and 10.
  Canvas in(40, 8, kOpaqueBackground);
  fill_rect(in, 0, 0, 20, 8, {0, 0, 0, 255});
  const Canvas out = downscale_half_lanczos3(in, 20, 4);
  EXPECT_EQ(out.at(2, 1).r, 0);
  EXPECT_EQ(out.at(17, 1).r, 255);
  EXPECT_LT(out.at(9, 1).r, 128);
  EXPECT_GT(out.at(10, 1).r, 127);
  EXPECT_NEAR(out.at(9, 1).r + out.at(10, 1).r, 255, 1);  // symmetric about the edge
  EXPECT_EQ(out.at(9, 1).a, 255);
}

}  // namespace
}  // namespace quenfa::plot
