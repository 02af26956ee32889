#include "quenfa/decor/number_text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quenfa::decor {
namespace {

TEST(DecorNumberSyntax, RejectsWhatIsNotAPlainDecimal) {
  for (const char* text : {"",
                           " 0.5",
                           "0.5 ",
                           "NA",
                           "na",
                           "0x1p-2",
                           "0X1P-2",
                           ".",
                           "+",
                           "-",
                           "e5",
                           "1e",
                           "1e+",
                           "1.5.2",
                           "1,5",
                           "infinit",
                           "nan(1)",
                           "++1",
                           "0.5\t",
                           "\xC2\xA0"
                           "1"}) {
    EXPECT_FALSE(parse_float32(text)) << '"' << text << '"';
    EXPECT_FALSE(parse_float64(text)) << '"' << text << '"';
  }
}

TEST(DecorNumberSyntax, AcceptsSignsPointsExponentsAndSpecialWords) {
  struct Case {
    const char* text;
    double value;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {"0.5", 0.5},  {"+0.5", 0.5},       {"-2", -2},     {"1.", 1},
      {".25", 0.25}, {"1E2", 100},        {"1e-2", 0.01}, {"1e+2", 100},
      {"inf", inf},  {"-Infinity", -inf}, {"INF", inf},   {"+iNfInItY", inf},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parse_float64(c.text).value(), c.value) << c.text;
    EXPECT_EQ(parse_float32(c.text).value(), static_cast<float>(c.value)) << c.text;
  }
  for (const char* text : {"nan", "NaN", "-NAN"}) {
    EXPECT_TRUE(std::isnan(parse_float32(text).value())) << text;
    EXPECT_TRUE(std::isnan(parse_float64(text).value())) << text;
  }
}

TEST(DecorNumberSyntax, SinglePrecisionIsRoundedOnceFromTheDecimal) {
  // Just above the midpoint between 1 and the next float; through a double
  // it would land on the midpoint and round to even (1).
  EXPECT_EQ(parse_float32("1.000000059604644776").value(), std::nextafter(1.0f, 2.0f));
  EXPECT_EQ(static_cast<float>(parse_float64("1.000000059604644776").value()), 1.0f);
  EXPECT_EQ(parse_float32("0.10000002").value(), 0.10000001639127731);
}

TEST(DecorNumberSyntax, OverflowIsInfiniteAndUnderflowIsZero) {
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(parse_float32("1e39").value(), inf);
  EXPECT_EQ(parse_float32("-1e39").value(), -inf);
  EXPECT_EQ(parse_float32("123456789e31").value(), inf);
  EXPECT_EQ(parse_float64("1e309").value(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(parse_float32("1e-50").value(), 0.0f);
  EXPECT_TRUE(std::signbit(parse_float32("-1e-50").value()));
  EXPECT_EQ(parse_float32("0.00000000000000000000000000000000000000000000001").value(), 0.0f);
  EXPECT_EQ(parse_float32("8e-46").value(), std::numeric_limits<float>::denorm_min());
  EXPECT_EQ(parse_float64("1e-400").value(), 0.0);
  EXPECT_EQ(parse_float32("1e99999999999999999999").value(), inf);
  EXPECT_EQ(parse_float32("0e99999999999999999999").value(), 0.0f);
}

TEST(DecorNumberDisplay, ShortestRoundTripWithoutExponent) {
  struct Case {
    double x;
    const char* text;
  };
  const Case cases[] = {
      {150, "150"},
      {100.5, "100.5"},
      {100.0001, "100.0001"},
      {-0.5, "-0.5"},
      {-0.0, "-0"},
      {0, "0"},
      {1e-7, "0.0000001"},
      {1e21, "1000000000000000000000"},
      {0.1 + 0.2, "0.30000000000000004"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const Case& c : cases) EXPECT_EQ(display_number(c.x), c.text);
}

TEST(DecorNumberDisplay, RedundancyHasEightDecimalsTiesToEven) {
  struct Case {
    float x;
    const char* text;
  };
  const Case cases[] = {
      {0.5f, "0.50000000"},
      {1.0f, "1.00000000"},
      {0.0f, "0.00000000"},
      {1.0f / 512, "0.00195312"},  // exactly 0.001953125: the tie goes to the even 2
      {3.0f / 512, "0.00585938"},  // exactly 0.005859375: the tie goes to the even 8
      {0.10000002384185791f, "0.10000002"},
      {std::numeric_limits<float>::denorm_min(), "0.00000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(format_redundancy(c.x), c.text);
}

}  // namespace
}  // namespace quenfa::decor
