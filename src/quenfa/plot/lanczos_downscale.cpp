#include "quenfa/plot/lanczos_downscale.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "quenfa/core/internal_fault.hpp"

namespace quenfa::plot {

namespace {

float sinc(float x) {
  if (x == 0.0f) return 1.0f;
  const float a = x * std::numbers::pi_v<float>;
  return std::sin(a) / a;
}

float lanczos3(float x) {
  return std::fabs(x) < 3.0f ? sinc(x) * sinc(x / 3.0f) : 0.0f;
}

// The input samples feeding one output sample and their normalised weights.
struct Taps {
  std::size_t first = 0;
  std::vector<float> weights;
};

// For output sample o the input centre is c = (o + 0.5) * 2; taps run from
// floor(c - 6) to ceil(c + 6), clamped to the input.
std::vector<Taps> halving_taps(std::size_t in_size, std::size_t out_size) {
  std::vector<Taps> all(out_size);
  for (std::size_t o = 0; o < out_size; ++o) {
    const float c = (static_cast<float>(o) + 0.5f) * 2.0f;
    const auto left = static_cast<std::size_t>(
        std::clamp(std::floor(c - 6.0f), 0.0f, static_cast<float>(in_size - 1)));
    const auto right = static_cast<std::size_t>(
        std::clamp(std::ceil(c + 6.0f), static_cast<float>(left + 1), static_cast<float>(in_size)));
    Taps& t = all[o];
    t.first = left;
    float sum = 0.0f;
    for (std::size_t i = left; i < right; ++i) {
      t.weights.push_back(lanczos3((static_cast<float>(i) - (c - 0.5f)) / 2.0f));
      sum += t.weights.back();
    }
    for (float& w : t.weights) w /= sum;
  }
  return all;
}

std::uint8_t to_channel(float v) {
  return static_cast<std::uint8_t>(std::round(std::clamp(v, 0.0f, 255.0f)));
}

}  // namespace

Canvas downscale_half_lanczos3(const Canvas& source, std::uint32_t width, std::uint32_t height) {
  QUENFA_ENSURE(source.width() == 2ull * width && source.height() == 2ull * height,
                "downscale_half_lanczos3: source must be twice the target size");
  Canvas out(width, height, {0, 0, 0, 0});
  if (width == 0 || height == 0) return out;
  const std::size_t in_row = std::size_t{source.width()} * 4;

  // One output row at a time: its vertical pass over whole input rows (taps
  // in ascending order), then its horizontal pass. Only one filtered row is
  // kept, so the working memory does not grow with the height.
  const std::vector<Taps> vertical = halving_taps(source.height(), height);
  const std::vector<Taps> horizontal = halving_taps(source.width(), width);
  std::vector<float> row(in_row);
  for (std::uint32_t y = 0; y < height; ++y) {
    std::fill(row.begin(), row.end(), 0.0f);
    const Taps& t = vertical[y];
    for (std::size_t k = 0; k < t.weights.size(); ++k) {
      const std::uint8_t* src = source.row(static_cast<std::uint32_t>(t.first + k));
      const float w = t.weights[k];
      for (std::size_t j = 0; j < in_row; ++j) row[j] += static_cast<float>(src[j]) * w;
    }
    for (std::uint32_t x = 0; x < width; ++x) {
      const Taps& h = horizontal[x];
      float acc[4] = {0, 0, 0, 0};
      for (std::size_t k = 0; k < h.weights.size(); ++k) {
        const float* px = row.data() + (h.first + k) * 4;
        for (int ch = 0; ch < 4; ++ch) acc[ch] += px[ch] * h.weights[k];
      }
      std::uint8_t* dst = out.pixel(x, y);
      for (int ch = 0; ch < 4; ++ch) dst[ch] = to_channel(acc[ch]);
    }
  }
  return out;
}

}  // namespace quenfa::plot
