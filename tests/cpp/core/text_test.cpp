#include "quenfa/core/text.hpp"

#include <gtest/gtest.h>

namespace quenfa {
namespace {

TEST(Utf8Validation, AcceptsWellFormedAndRejectsEachMalformedKind) {
  struct Case {
    std::string bytes;
    bool valid;
  };
  const Case cases[] = {
      {"", true},
      {"plain ascii\tline", true},
      {"gr\xC3\xBC\xC3\x9F", true},  // two-byte forms
      {"\xE2\x80\x83", true},        // three-byte form
      {"\xF0\x9F\x98\x80", true},    // four-byte form
      {"\xFF", false},               // never valid
      {"\xC0\xAF", false},           // overlong two-byte
      {"\xE0\x80\xAF", false},       // overlong three-byte
      {"\xED\xA0\x80", false},       // surrogate
      {"\xF4\x90\x80\x80", false},   // above U+10FFFF
      {"\xC3", false},               // truncated
      {"ab\xE2\x80", false},         // truncated at the end
      {"\xE2\x28\xA1", false},       // bad continuation
  };
  for (const Case& c : cases) EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << c.bytes;
}

TEST(UnicodeTrim, RemovesWhiteSpaceCodePointsOnlyAtBothEnds) {
  EXPECT_EQ(trim_unicode_whitespace("  G1 \t"), "G1");
  // NO-BREAK SPACE, EM SPACE and IDEOGRAPHIC SPACE are white space; the inner
  // space stays.
  EXPECT_EQ(trim_unicode_whitespace("\xC2\xA0\xE2\x80\x83G 1\xE3\x80\x80"), "G 1");
  // ZERO WIDTH SPACE (U+200B) is not white space.
  EXPECT_EQ(trim_unicode_whitespace("\xE2\x80\x8BG1"), "\xE2\x80\x8BG1");
  EXPECT_EQ(trim_unicode_whitespace(" \x0B\x0C\r\n"), "");
  // A multi-byte letter at the end is kept whole.
  EXPECT_EQ(trim_unicode_whitespace("\xC3\xBC "), "\xC3\xBC");
}

}  // namespace
}  // namespace quenfa
