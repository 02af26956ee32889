#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "quenfa/plot/number_format.hpp"

namespace quenfa::plot {
namespace {

TEST(PlotNumberFormat, ScientificValue) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.0123, "1.2e-2"}, {1, "1.0e0"},      {123, "1.2e2"},       {2.5e-10, "2.5e-10"},
      {1e15, "1.0e15"},   {-0.5, "-5.0e-1"}, {1e-100, "1.0e-100"}, {9.96, "10.0e0"},
      {0.05, "5.0e-2"},   {12345, "1.2e4"},  {-0.0, "0"},          {0.0, "0"},
      {NAN, "NA"},        {-inf, "NA"},      {inf, "NA"},          {0.25, "2.5e-1"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_scientific_value(c.value), c.text) << c.value;
}

TEST(PlotNumberFormat, FixedRoundsTheExactBinaryValueTiesToEven) {
  EXPECT_EQ(format_fixed(0.125, 2), "0.12");  // exact tie
  EXPECT_EQ(format_fixed(0.375, 2), "0.38");  // exact tie
  EXPECT_EQ(format_fixed(2.675, 2), "2.67");  // 2.67499999... in binary
  EXPECT_EQ(format_fixed(-0.6000000000000001, 1), "-0.6");
  EXPECT_EQ(format_fixed(1e20, 0), "100000000000000000000");
}

}  // namespace
}  // namespace quenfa::plot
