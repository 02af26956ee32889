// gammacdf against the same algorithm written with mpmath numbers
// (data/blitz/gammacdf_reference.py), bit for bit, and against
// mpmath.gammainc for accuracy; the committed vectors and a live run of the
// script with other cases.

#include <gmp.h>
#include <gtest/gtest.h>

#include <mpfr.h>
#include "support/command_output.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "quenfa/blitz/mpmath/gammacdf.hpp"

namespace quenfa::test {
namespace {

using blitz::gammacdf;
using blitz::Hp;

const std::string kScript = std::string(QUENFA_TEST_DATA_DIR) + "/blitz/gammacdf_reference.py";

double f64(const std::string& hex) {
  return std::bit_cast<double>(std::stoull(hex, nullptr, 16));
}

std::string hex(double v) {
  char buffer[17];
  std::snprintf(buffer, sizeof buffer, "%016llx",
                static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(v)));
  return buffer;
}

// The script's exact text of a value: "0", or [-]0x<odd mantissa>p<exponent>.
std::string exact_text(const Hp& x) {
  if (x.is_zero()) return "0";
  mpz_t mantissa;
  mpz_init(mantissa);
  long exponent = mpfr_get_z_2exp(mantissa, x.raw());
  const auto trailing = mpz_scan1(mantissa, 0);
  mpz_fdiv_q_2exp(mantissa, mantissa, trailing);
  exponent += static_cast<long>(trailing);
  const bool negative = mpz_sgn(mantissa) < 0;
  mpz_abs(mantissa, mantissa);
  char* digits = mpz_get_str(nullptr, 16, mantissa);
  std::string text =
      std::string(negative ? "-" : "") + "0x" + digits + "p" + std::to_string(exponent);
  void (*free_function)(void*, size_t);
  mp_get_memory_functions(nullptr, nullptr, &free_function);
  free_function(digits, std::char_traits<char>::length(digits) + 1);
  mpz_clear(mantissa);
  return text;
}

// |p - reference| / |reference| for the exact text of the reference.
double relative_error(const Hp& p, const std::string& reference) {
  constexpr mpfr_prec_t kBits = 8192;
  mpfr_t ref, diff;
  mpfr_inits2(kBits, ref, diff, static_cast<mpfr_ptr>(nullptr));
  EXPECT_EQ(mpfr_set_str(ref, reference.c_str(), 0, MPFR_RNDN), 0) << reference;
  mpfr_sub(diff, p.raw(), ref, MPFR_RNDN);
  mpfr_div(diff, diff, ref, MPFR_RNDN);
  const double error = std::fabs(mpfr_get_d(diff, MPFR_RNDN));
  mpfr_clears(ref, diff, static_cast<mpfr_ptr>(nullptr));
  return error;
}

// d digits are claimed once the stopping threshold 2^-(p - 24) lies well
// below 10^-d (d >= 10); shapes that take Spouge's approximation hold at most
// 64 digits (its error bound on Gamma is 5e-66).
double claimed_relative_accuracy(std::uint64_t d, double a) {
  const bool exact_ln_gamma = std::floor(a) == a || std::floor(a - 0.5) == a - 0.5;
  const std::uint64_t digits = exact_ln_gamma ? d : std::min<std::uint64_t>(d, 64);
  return std::pow(10.0, -static_cast<double>(digits));
}

struct Case {
  std::string line;
  std::uint64_t d;
  double x, a, beta;
  std::vector<std::string> expected;  // P, double of P, double of 1 - P; or error, kind
  std::string reference;              // mpmath.gammainc, exact text
};

std::vector<Case> parse(const std::string& text) {
  std::vector<Case> cases;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("gammacdf ", 0) != 0) continue;
    Case c;
    c.line = line;
    std::istringstream fields(line);
    std::string word, x, a, beta, bar;
    fields >> word >> c.d >> x >> a >> beta >> bar;
    c.x = f64(x);
    c.a = f64(a);
    c.beta = f64(beta);
    while (fields >> word && word != "|") c.expected.push_back(word);
    fields >> c.reference;
    cases.push_back(std::move(c));
  }
  return cases;
}

// Checks every case; returns how many there were.
std::size_t expect_cases(const std::string& text) {
  const auto cases = parse(text);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const auto r = gammacdf(c.d, c.x, c.a, c.beta);
    if (c.expected.at(0) == "error") {
      if (r.ok()) {
        ADD_FAILURE() << "expected a non-convergence error";
        continue;
      }
      const bool lower = c.expected.at(1) == "lower";
      EXPECT_NE(r.error().find(lower ? "lower gamma series" : "upper gamma continued fraction"),
                std::string::npos)
          << r.error();
      continue;
    }
    if (!r.ok()) {
      ADD_FAILURE() << r.error();
      continue;
    }
    EXPECT_EQ(exact_text(r.value().p), c.expected.at(0));
    EXPECT_EQ(hex(r.value().cdf), c.expected.at(1));
    EXPECT_EQ(hex(r.value().complement), c.expected.at(2));
    if (c.d >= 10 && c.reference != "0") {
      EXPECT_LE(relative_error(r.value().p, c.reference), claimed_relative_accuracy(c.d, c.a));
    }
  }
  return cases.size();
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << "missing " << path;
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(BlitzGammaCdf, MatchesCommittedMpmathVectors) {
  const auto text = read_file(std::string(QUENFA_TEST_DATA_DIR) + "/blitz/gammacdf_reference.txt");
  EXPECT_GT(expect_cases(text), 500u);
}

TEST(BlitzGammaCdf, MatchesMpmathLive) {
  if (std::system("python3 -c 'import mpmath' > /dev/null 2>&1") != 0) {
    QUENFA_REFERENCE_TOOL_MISSING("python3 with mpmath not found");
  }
  const std::string command = "python3 '" + kScript + "' live";
  const auto text = ::quenfa::test_support::command_output(command);
  ASSERT_TRUE(text) << command;
  EXPECT_GT(expect_cases(*text), 50u);
}

TEST(BlitzGammaCdf, NegativeAndZeroArgumentsGiveExactlyZero) {
  for (const double x : {-0.5, -0.0, 0.0, -1e300}) {
    SCOPED_TRACE(x);
    const auto r = gammacdf(50, x, 2.25, 0.5);
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_TRUE(r.value().p.is_zero());
    EXPECT_EQ(hex(r.value().cdf), hex(0.0));
    EXPECT_EQ(r.value().complement, 1.0);
  }
}

TEST(BlitzGammaCdf, RejectsParametersBeforeDigits) {
  const double inf = INFINITY, nan = NAN;
  struct Bad {
    double x, a, beta;
  };
  for (const auto& [x, a, beta] : std::vector<Bad>{{nan, 1, 1},
                                                   {inf, 1, 1},
                                                   {-inf, 1, 1},
                                                   {1, 0, 1},
                                                   {1, -2, 1},
                                                   {1, nan, 1},
                                                   {1, inf, 1},
                                                   {1, 1, 0},
                                                   {1, 1, -0.0},
                                                   {1, 1, -1},
                                                   {1, 1, nan},
                                                   {1, 1, inf}}) {
    SCOPED_TRACE(testing::Message() << x << " " << a << " " << beta);
    const auto r = gammacdf(std::uint64_t{1} << 63, x, a, beta);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "blitz mpmath fallback requires finite positive gamma parameters");
  }
  // A subnormal scale is a positive scale.
  EXPECT_TRUE(gammacdf(1, 0.0, 1.0, 5e-324).ok());
  EXPECT_FALSE(gammacdf(std::uint64_t{1} << 63, 1.0, 1.0, 1.0).ok());
}

TEST(BlitzGammaCdf, NonConvergenceMessages) {
  // z just below a very large a: the series needs millions of terms.
  const auto lower = gammacdf(50, 1e10, 1e10 + 0.25, 1.0);
  ASSERT_FALSE(lower.ok());
  EXPECT_EQ(lower.error(), "blitz mpmath fallback lower gamma series did not converge");
  // z = a + 1 close to 1 at 900-bit tolerance: the fraction converges too slowly.
  const auto upper = gammacdf(200, (1e-4 + 1.0) * 0.037, 1e-4, 0.037);
  ASSERT_FALSE(upper.ok());
  EXPECT_EQ(upper.error(), "blitz mpmath fallback upper gamma continued fraction did not converge");
}

// Scoring threads call gammacdf at once; each releases its own MPFR caches.
TEST(BlitzGammaCdf, ConcurrentCallsAgreeWithSerial) {
  const std::vector<double> shapes = {3.0, 2.5, 7.3, 0.8};
  std::vector<std::string> serial;
  for (const double a : shapes) serial.push_back(exact_text(gammacdf(50, 4.0, a, 0.9).value().p));
  std::vector<std::string> parallel(shapes.size());
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < shapes.size(); ++i) {
    threads.emplace_back(
        [&, i] { parallel[i] = exact_text(gammacdf(50, 4.0, shapes[i], 0.9).value().p); });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(parallel, serial);
}

}  // namespace
}  // namespace quenfa::test
