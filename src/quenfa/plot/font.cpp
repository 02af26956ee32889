#include "quenfa/plot/font.hpp"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_ADVANCES_H

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "quenfa/core/text.hpp"
#include "quenfa/plot/embedded_font.hpp"

namespace quenfa::plot {

struct Font::Impl {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  std::vector<unsigned char> bytes;  // FreeType reads the face from here
  FT_F26Dot6 em_size = 0;            // the character size currently set
  ~Impl() {
    if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
  }
};

Font::Font(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {
  ascent_ = static_cast<float>(impl_->face->ascender);
  descent_ = static_cast<float>(impl_->face->descender);
}

Font::~Font() = default;

std::unique_ptr<Font> Font::parse(std::vector<unsigned char> bytes) {
  auto impl = std::make_unique<Impl>();
  impl->bytes = std::move(bytes);
  if (FT_Init_FreeType(&impl->library) != 0) return nullptr;
  if (FT_New_Memory_Face(impl->library, impl->bytes.data(),
                         static_cast<FT_Long>(impl->bytes.size()), 0, &impl->face) != 0) {
    return nullptr;
  }
  const FT_Face face = impl->face;
  if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0 || face->ascender <= face->descender) {
    return nullptr;
  }
  return std::unique_ptr<Font>(new Font(std::move(impl)));
}

std::uint32_t Font::glyph_index(char32_t c) const {
  std::lock_guard lock(mutex_);
  return FT_Get_Char_Index(impl_->face, c);
}

float Font::advance(std::uint32_t glyph) const {
  std::lock_guard lock(mutex_);
  FT_Fixed advance = 0;
  if (FT_Get_Advance(impl_->face, glyph, FT_LOAD_NO_SCALE, &advance) != 0) return 0.0f;
  return static_cast<float>(advance);
}

bool Font::has_outline(std::uint32_t glyph) const {
  return FT_Load_Glyph(impl_->face, glyph, FT_LOAD_NO_SCALE) == 0 &&
         impl_->face->glyph->format == FT_GLYPH_FORMAT_OUTLINE &&
         impl_->face->glyph->outline.n_contours > 0;
}

float Font::kerning(std::uint32_t left, std::uint32_t right) const {
  std::lock_guard lock(mutex_);
  if (!FT_HAS_KERNING(impl_->face) || !has_outline(left) || !has_outline(right)) return 0.0f;
  FT_Vector delta{0, 0};
  if (FT_Get_Kerning(impl_->face, left, right, FT_KERNING_UNSCALED, &delta) != 0) return 0.0f;
  return static_cast<float>(delta.x);
}

GlyphCoverage Font::rasterize(std::uint32_t glyph, float pixels_per_unit, float x, float y) const {
  GlyphCoverage out;
  if (!(std::fabs(x) < 1e9f && std::fabs(y) < 1e9f)) return out;
  std::lock_guard lock(mutex_);
  const FT_Face face = impl_->face;
  const double em_pixels = static_cast<double>(pixels_per_unit) * face->units_per_EM;
  if (!(em_pixels * 64.0 < 1e9)) return out;
  const FT_F26Dot6 em = std::max<FT_F26Dot6>(1, std::lround(em_pixels * 64.0));
  if (em != impl_->em_size) {
    if (FT_Set_Char_Size(face, 0, em, 72, 72) != 0) return out;
    impl_->em_size = em;
  }
  if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return out;
  FT_GlyphSlot slot = face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return out;
  // Whole pixels of the origin here, its fraction moved into the outline
  // (FreeType's y axis points up).
  const float ix = std::floor(x), iy = std::floor(y);
  FT_Outline_Translate(&slot->outline, std::lround((x - ix) * 64.0f),
                       -std::lround((y - iy) * 64.0f));
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return out;
  const FT_Bitmap& bitmap = slot->bitmap;
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return out;
  out.left = static_cast<std::int64_t>(ix) + slot->bitmap_left;
  out.top = static_cast<std::int64_t>(iy) - slot->bitmap_top;
  out.width = bitmap.width;
  out.rows = bitmap.rows;
  out.alpha.resize(static_cast<std::size_t>(bitmap.width) * bitmap.rows);
  for (unsigned r = 0; r < bitmap.rows; ++r) {
    const unsigned char* src =
        bitmap.pitch >= 0
            ? bitmap.buffer + static_cast<std::ptrdiff_t>(r) * bitmap.pitch
            : bitmap.buffer + static_cast<std::ptrdiff_t>(bitmap.rows - 1 - r) * (-bitmap.pitch);
    std::copy(src, src + bitmap.width, out.alpha.begin() + std::ptrdiff_t{r} * bitmap.width);
  }
  return out;
}

std::string Font::family_name() const {
  return impl_->face->family_name != nullptr ? impl_->face->family_name : "";
}

bool Font::has_variations() const {
  return FT_HAS_MULTIPLE_MASTERS(impl_->face);
}

namespace {

bool read_whole_file(const std::string& path, std::vector<unsigned char>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

Result<std::shared_ptr<const Font>> load_font(std::span<const unsigned char> embedded,
                                              const std::vector<std::string>& fallback_paths) {
  if (auto font = Font::parse({embedded.begin(), embedded.end()})) {
    return std::shared_ptr<const Font>(std::move(font));
  }
  for (const std::string& path : fallback_paths) {
    std::vector<unsigned char> bytes;
    if (!read_whole_file(path, bytes)) continue;
    if (auto font = Font::parse(std::move(bytes)))
      return std::shared_ptr<const Font>(std::move(font));
  }
  return Error{kFontFailure};
}

std::vector<std::string> plot_font_fallback_paths() {
  std::vector<std::string> paths;
  if (const char* env = std::getenv("QUENFA_PLOT_FONT"); env != nullptr && is_valid_utf8(env)) {
    paths.emplace_back(env);
  }
  for (const char* path :
       {"C:/Windows/Fonts/segoeui.ttf", "C:/Windows/Fonts/arial.ttf", "/Library/Fonts/Arial.ttf",
        "/System/Library/Fonts/Supplemental/Arial.ttf",
        "/System/Library/Fonts/Supplemental/Arial Unicode.ttf",
        "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf",
        "/usr/share/fonts/fonts-go/Go-Regular.ttf",
        "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"}) {
    paths.emplace_back(path);
  }
  return paths;
}

const Result<std::shared_ptr<const Font>>& plot_font() {
  static const Result<std::shared_ptr<const Font>> font =
      load_font(embedded_font_bytes(), plot_font_fallback_paths());
  return font;
}

}  // namespace quenfa::plot
