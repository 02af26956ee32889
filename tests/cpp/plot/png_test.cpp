#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "quenfa/plot/png_writer.hpp"

namespace quenfa::plot {
namespace {

std::uint32_t be32(const std::vector<unsigned char>& b, std::size_t at) {
  return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 |
         std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}

TEST(PlotPng, PixelsPerMetre) {
  EXPECT_EQ(pixels_per_metre(300), 11811u);
  EXPECT_EQ(pixels_per_metre(72), 2835u);
  EXPECT_EQ(pixels_per_metre(4294967295u), 4294967295u);
}

TEST(PlotPng, WritesRgbaWithResolutionAndNoOtherChunks) {
  const auto path = std::filesystem::temp_directory_path() / "quenfa_plot_png_test.png";
  std::ofstream(path) << std::string(100000, 'x');  // an existing file is truncated
  ASSERT_TRUE(save_png_with_dpi(Canvas(320, 240, kTransparentBackground), path.string(), 300).ok());
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> b{std::istreambuf_iterator<char>(in), {}};
  std::filesystem::remove(path);

  ASSERT_GT(b.size(), 8u + 25u);
  EXPECT_EQ(std::string(b.begin() + 1, b.begin() + 4), "PNG");
  std::vector<std::string> chunks;
  for (std::size_t at = 8; at + 8 <= b.size(); at += 12 + be32(b, at)) {
    const std::string type(b.begin() + at + 4, b.begin() + at + 8);
    if (chunks.empty() || chunks.back() != type) chunks.push_back(type);
    if (type == "IHDR") {
      EXPECT_EQ(be32(b, at + 8), 320u);
      EXPECT_EQ(be32(b, at + 12), 240u);
      EXPECT_EQ(b[at + 16], 8);  // bit depth
      EXPECT_EQ(b[at + 17], 6);  // RGBA
    }
    if (type == "pHYs") {
      EXPECT_EQ(be32(b, at + 8), 11811u);
      EXPECT_EQ(be32(b, at + 12), 11811u);
      EXPECT_EQ(b[at + 16], 1);  // metre
    }
  }
  EXPECT_EQ(chunks, (std::vector<std::string>{"IHDR", "pHYs", "IDAT", "IEND"}));
}

TEST(PlotPng, MissingDirectoryFailsWithTheSystemTextAndCreatesNothing) {
  const auto dir = std::filesystem::temp_directory_path() / "quenfa_no_such_dir";
  const Status s =
      save_png_with_dpi(Canvas(320, 240, kOpaqueBackground), (dir / "plot.png").string(), 300);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.error(), "No such file or directory (os error 2)");
  EXPECT_FALSE(std::filesystem::exists(dir));
}

}  // namespace
}  // namespace quenfa::plot
