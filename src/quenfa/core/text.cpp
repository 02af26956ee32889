#include "quenfa/core/text.hpp"

#include <cstdint>

namespace quenfa {

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool is_valid_utf8(std::string_view bytes) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;  // no overlong forms
      if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;  // no overlong forms
      if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
      return false;
    }
    if (n - i < len) return false;
    if (s[i + 1] < lo || s[i + 1] > hi) return false;
    for (std::size_t k = 2; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
    }
    i += len;
  }
  return true;
}

namespace {

bool is_unicode_whitespace(std::uint32_t cp) {
  return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
         cp == 0x205F || cp == 0x3000;
}

// Decodes the code point of valid UTF-8 starting at s[i]; sets `len`.
std::uint32_t decode_at(std::string_view s, std::size_t i, std::size_t& len) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char c = b(0);
  if (c < 0x80) {
    len = 1;
    return c;
  }
  if (c < 0xE0) {
    len = 2;
    return (std::uint32_t(c & 0x1F) << 6) | (b(1) & 0x3F);
  }
  if (c < 0xF0) {
    len = 3;
    return (std::uint32_t(c & 0x0F) << 12) | (std::uint32_t(b(1) & 0x3F) << 6) | (b(2) & 0x3F);
  }
  len = 4;
  return (std::uint32_t(c & 0x07) << 18) | (std::uint32_t(b(1) & 0x3F) << 12) |
         (std::uint32_t(b(2) & 0x3F) << 6) | (b(3) & 0x3F);
}

}  // namespace

std::string_view trim_unicode_whitespace(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t len;
    if (!is_unicode_whitespace(decode_at(text, begin, len))) break;
    begin += len;
  }
  std::size_t end = text.size();
  while (end > begin) {
    std::size_t start = end - 1;
    while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    std::size_t len;
    if (!is_unicode_whitespace(decode_at(text, start, len))) break;
    end = start;
  }
  return text.substr(begin, end - begin);
}

}  // namespace quenfa
