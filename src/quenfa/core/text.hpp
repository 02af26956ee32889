// Small text helpers: ASCII lower-casing, UTF-8 validation and Unicode
// white-space trimming.
#pragma once

#include <string>
#include <string_view>

namespace quenfa {

std::string ascii_lower(std::string_view text);

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool is_valid_utf8(std::string_view bytes);

// Removes code points with the Unicode White_Space property from both ends.
// `text` must be valid UTF-8.
std::string_view trim_unicode_whitespace(std::string_view text);

}  // namespace quenfa
