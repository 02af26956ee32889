#include <gtest/gtest.h>

#include <algorithm>
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

// The file is written beside the target and renamed: after a success or a
// failure the folder holds only what it held before, plus the target.
TEST(PlotPng, NoTemporaryFileIsLeftAndAFailureKeepsTheTarget) {
  const auto dir = std::filesystem::temp_directory_path() / "quenfa_png_rename_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "taken.png");
  const auto names = [&] {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
      out.push_back(e.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  const Canvas canvas(32, 24, kOpaqueBackground);
  const Status onto_directory = save_png_with_dpi(canvas, (dir / "taken.png").string(), 300);
  ASSERT_FALSE(onto_directory.ok());
  EXPECT_EQ(onto_directory.error(), "Is a directory (os error 21)");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.png"));
  EXPECT_EQ(names(), (std::vector<std::string>{"taken.png"}));
  ASSERT_TRUE(save_png_with_dpi(canvas, (dir / "plot.png").string(), 300).ok());
  ASSERT_TRUE(save_png_with_dpi(canvas, (dir / "plot.png").string(), 300).ok());
  EXPECT_EQ(names(), (std::vector<std::string>{"plot.png", "taken.png"}));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quenfa::plot
