#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "quenfa/plot/embedded_font.hpp"
#include "quenfa/plot/font.hpp"
#include "quenfa/plot/text.hpp"

namespace quenfa::plot {
namespace {

const Font& font() {
  return *plot_font().value();
}

struct Box {
  std::int64_t left = INT64_MAX, top = INT64_MAX, right = -1, bottom = -1;  // inclusive
};

// Extent of the pixels that differ from `background`.
Box inked(const Canvas& c, std::uint8_t background_alpha = 255) {
  Box b;
  for (std::uint32_t y = 0; y < c.height(); ++y) {
    for (std::uint32_t x = 0; x < c.width(); ++x) {
      const RgbaColor p = c.at(x, y);
      if (p.r == 255 && p.g == 255 && p.b == 255 && p.a == background_alpha) continue;
      b = {std::min<std::int64_t>(b.left, x), std::min<std::int64_t>(b.top, y),
           std::max<std::int64_t>(b.right, x), std::max<std::int64_t>(b.bottom, y)};
    }
  }
  return b;
}

TEST(PlotFont, EmbeddedInterVariableLoads) {
  EXPECT_EQ(embedded_font_bytes().size(), 879708u);
  ASSERT_TRUE(plot_font().ok());
  EXPECT_EQ(font().family_name(), "Inter Variable");
  EXPECT_TRUE(font().has_variations());
  EXPECT_NE(font().glyph_index(U'e'), 0u);
}

TEST(PlotFont, FallbackFilesAreTriedInOrderAndFailureIsReported) {
  const std::vector<unsigned char> garbage(64, 0x5a);
  const auto dir = std::filesystem::temp_directory_path() / "quenfa_plot_font_test";
  std::filesystem::create_directories(dir);
  const std::string not_a_font = (dir / "not_a_font.ttf").string();
  const std::string good = (dir / "good.ttf").string();
  std::ofstream(not_a_font) << "plain text";
  std::ofstream(good, std::ios::binary)
      .write(reinterpret_cast<const char*>(embedded_font_bytes().data()),
             static_cast<std::streamsize>(embedded_font_bytes().size()));

  auto loaded = load_font(garbage, {(dir / "missing.ttf").string(), not_a_font, good});
  ASSERT_TRUE(loaded.ok());
  EXPECT_EQ(loaded.value()->family_name(), "Inter Variable");

  auto failed = load_font(garbage, {(dir / "missing.ttf").string(), not_a_font});
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error(),
            "failed to load a plotting font; set QUENFA_PLOT_FONT to a readable .ttf/.otf file");
  std::filesystem::remove_all(dir);
}

TEST(PlotFont, EnvironmentPathComesFirst) {
  setenv("QUENFA_PLOT_FONT", "/some/font.ttf", 1);
  const std::vector<std::string> paths = plot_font_fallback_paths();
  unsetenv("QUENFA_PLOT_FONT");
  ASSERT_EQ(paths.size(), 9u);
  EXPECT_EQ(paths.front(), "/some/font.ttf");
  EXPECT_EQ(paths.back(), "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
}

TEST(PlotText, MeasureText) {
  EXPECT_EQ(measure_text(font(), 26.0f, "").width, 0u);
  EXPECT_EQ(measure_text(font(), 26.0f, "").height, 0u);
  const TextSize one = measure_text(font(), 26.0f, "0");
  const TextSize four = measure_text(font(), 26.0f, "0000");
  EXPECT_EQ(one.height, 26u);
  // Digits share one advance: four of them are four advances plus the pixel.
  EXPECT_NEAR(four.width - 1.0, 4.0 * (one.width - 1.0), 4.0);
  EXPECT_GT(measure_text(font(), 52.0f, "rank").width, measure_text(font(), 26.0f, "rank").width);
}

TEST(PlotText, DrawTextStaysInItsLineBox) {
  Canvas c(200, 60, kOpaqueBackground);
  draw_text(c, {0, 0, 0, 255}, 20, 10, 26.0f, font(), "Held");
  const Box b = inked(c);
  const TextSize size = measure_text(font(), 26.0f, "Held");
  EXPECT_GE(b.left, 20);
  EXPECT_LE(b.right, 20 + static_cast<std::int64_t>(size.width));
  EXPECT_GE(b.top, 10);
  EXPECT_LE(b.bottom, 10 + 26);
  EXPECT_EQ(c.at(b.left, b.top).a, 255);  // composited over an opaque canvas
}

TEST(PlotText, CentredTextAndEmptyText) {
  Canvas c(200, 40, kOpaqueBackground);
  draw_text_centered(c, font(), 100, 5, "", 26.0f, {0, 0, 0, 255});
  EXPECT_EQ(inked(c).right, -1);
  draw_text_centered(c, font(), 100, 5, "mm", 26.0f, {0, 0, 0, 255});
  const Box b = inked(c);
  EXPECT_NEAR((b.left + b.right) / 2.0, 100.0, 2.0);
}

TEST(PlotText, VerticalLabelReadsBottomToTop) {
  Canvas c(120, 300, kOpaqueBackground);
  draw_vertical_text_centered(c, font(), 60, 150, 28.0f);
  const Box b = inked(c);
  const std::int64_t w = measure_text(font(), 28.0f, "enrichment score").width;
  EXPECT_GT(b.bottom - b.top, 3 * (b.right - b.left));  // taller than wide
  EXPECT_NEAR((b.top + b.bottom) / 2.0, 150.0, 3.0);
  EXPECT_LE(b.bottom - b.top + 1, w);
  // The first letter, "e", is at the bottom: its ink lies in the lower rows.
  bool fully_black = false, partial_alpha = false;
  for (std::int64_t y = b.top; y <= b.bottom; ++y) {
    for (std::int64_t x = b.left; x <= b.right; ++x) {
      const RgbaColor p = c.at(x, y);
      fully_black = fully_black || (p.r == 0 && p.a == 255);
      partial_alpha = partial_alpha || p.a < 255;
    }
  }
  EXPECT_TRUE(fully_black);
  EXPECT_TRUE(partial_alpha);  // edge pixels blend alpha too, as the label does
}

}  // namespace
}  // namespace quenfa::plot
