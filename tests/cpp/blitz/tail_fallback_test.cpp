// The high-precision gamma tail against mpmath.gammainc, live
// (data/blitz/tail_reference.py): every P-value keeps min(d, 15)
// significant digits, from 1e-3 down past the smallest double, and is 0 only
// below it.

#include <gtest/gtest.h>

#include <mpfr.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "quenfa/blitz/tail_fallback.hpp"
#include "support/command_output.hpp"

namespace quenfa::blitz {
namespace {

const std::string kScript = std::string(QUENFA_TEST_DATA_DIR) + "/blitz/tail_reference.py";

struct TailCase {
  std::string line;
  TailSide side;
  double x, a, beta, pos_ratio;
  std::string pvalue;  // decimal, 40 significant digits
};

double f64(const std::string& hex) {
  return std::bit_cast<double>(std::stoull(hex, nullptr, 16));
}

std::vector<TailCase> parse(const std::string& text) {
  std::vector<TailCase> cases;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("tail ", 0) != 0) continue;
    std::istringstream fields(line);
    std::string word, x, a, beta, g, bar;
    int side = 0;
    TailCase c;
    fields >> word >> side >> x >> a >> beta >> g >> bar >> c.pvalue;
    c.line = line;
    c.side = side == 0 ? TailSide::Positive : TailSide::Negative;
    c.x = f64(x);
    c.a = f64(a);
    c.beta = f64(beta);
    c.pos_ratio = f64(g);
    cases.push_back(std::move(c));
  }
  return cases;
}

// |p - reference| and the reference, as doubles (the difference taken at 512
// bits, so that it is exact enough even where p is subnormal).
std::pair<double, double> error_and_reference(double p, const std::string& reference) {
  mpfr_t ref, diff;
  mpfr_inits2(512, ref, diff, static_cast<mpfr_ptr>(nullptr));
  EXPECT_EQ(mpfr_set_str(ref, reference.c_str(), 10, MPFR_RNDN), 0) << reference;
  mpfr_sub_d(diff, ref, p, MPFR_RNDN);
  const double error = std::fabs(mpfr_get_d(diff, MPFR_RNDN));
  const double value = mpfr_get_d(ref, MPFR_RNDN);
  mpfr_clears(ref, diff, static_cast<mpfr_ptr>(nullptr));
  return {error, value};
}

TEST(BlitzTailFallback, PValuesKeepTheAskedDigitsDownPastTheSmallestDouble) {
  if (std::system("python3 -c 'import mpmath' > /dev/null 2>&1") != 0) {
    QUENFA_REFERENCE_TOOL_MISSING("python3 with mpmath not found");
  }
  const std::string command = "python3 '" + kScript + "'";
  const auto text = ::quenfa::test_support::command_output(command);
  ASSERT_TRUE(text) << command;
  const auto cases = parse(*text);
  ASSERT_GE(cases.size(), 60u);
  const double smallest = std::ldexp(1.0, -1074);
  for (const TailCase& c : cases) {
    for (const std::uint64_t d : {1, 2, 3, 8, 20, 50}) {
      SCOPED_TRACE(testing::Message() << "d " << d << ": " << c.line);
      const auto r = high_precision_tail(c.side, d, c.x, c.a, c.beta, c.pos_ratio);
      ASSERT_TRUE(r.ok()) << r.error();
      const double p = r.value().pvalue;
      const auto [error, reference] = error_and_reference(p, c.pvalue);
      if (reference == 0) {  // below half the smallest subnormal
        EXPECT_EQ(p, 0.0);
        continue;
      }
      EXPECT_GT(p, 0.0);
      const double digits = static_cast<double>(std::min<std::uint64_t>(d, 15));
      EXPECT_LE(error, std::max(reference * std::pow(10.0, -digits), smallest))
          << "P-value " << p << ", mpmath " << c.pvalue;
    }
  }
}

}  // namespace
}  // namespace quenfa::blitz
