// The plot font: a parsed TrueType/OpenType face used at its default
// instance, and the process-wide PLOT_FONT.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "quenfa/core/result.hpp"

namespace quenfa::plot {

// Coverage of one rasterised glyph, rows from the top; (left, top) is the
// canvas pixel of its first byte.
struct GlyphCoverage {
  std::int64_t left = 0, top = 0;
  std::uint32_t width = 0, rows = 0;
  std::vector<std::uint8_t> alpha;
};

class Font {
 public:
  // Parses face 0 of `bytes`; nullptr when they are no usable font.
  static std::unique_ptr<Font> parse(std::vector<unsigned char> bytes);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // Ascent and descent (negative below the baseline) in font units.
  float ascent() const { return ascent_; }
  float descent() const { return descent_; }
  std::uint32_t glyph_index(char32_t c) const;  // 0 when unmapped
  float advance(std::uint32_t glyph) const;     // font units
  // `kern`-table adjustment in font units; 0 without such a table or when
  // either glyph has no outline.
  float kerning(std::uint32_t left, std::uint32_t right) const;
  // Rasterises `glyph` at `pixels_per_unit` with its origin (on the baseline)
  // at canvas point (x, y); coverage is the absolute accumulated area.
  GlyphCoverage rasterize(std::uint32_t glyph, float pixels_per_unit, float x, float y) const;
  std::string family_name() const;
  bool has_variations() const;

 private:
  struct Impl;
  explicit Font(std::unique_ptr<Impl> impl);
  bool has_outline(std::uint32_t glyph) const;
  std::unique_ptr<Impl> impl_;
  float ascent_ = 0, descent_ = 0;
  mutable std::mutex mutex_;  // a FreeType face serves one thread at a time
};

inline constexpr const char* kFontFailure =
    "failed to load a plotting font; set QUENFA_PLOT_FONT to a readable .ttf/.otf file";

// The embedded font when it parses, else the first of `fallback_paths` that
// reads and parses (others are passed over silently), else kFontFailure.
Result<std::shared_ptr<const Font>> load_font(std::span<const unsigned char> embedded,
                                              const std::vector<std::string>& fallback_paths);

// QUENFA_PLOT_FONT when set and valid UTF-8, then the usual system fonts.
std::vector<std::string> plot_font_fallback_paths();

// PLOT_FONT: loaded once on first access, never replaced; a failure is final.
const Result<std::shared_ptr<const Font>>& plot_font();

}  // namespace quenfa::plot
