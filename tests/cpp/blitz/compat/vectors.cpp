#include "blitz/compat/vectors.hpp"

#include <gtest/gtest.h>

#include "support/command_output.hpp"

#include <bit>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "quenfa/blitz/compat/brent_root.hpp"
#include "quenfa/blitz/compat/igam.hpp"
#include "quenfa/blitz/compat/ndtri.hpp"
#include "quenfa/blitz/compat/numpy_log_f32.hpp"
#include "quenfa/blitz/compat/numpy_pairwise_sum.hpp"
#include "quenfa/blitz/compat/scipy_digamma.hpp"
#include "quenfa/random/r_streams.hpp"

namespace quenfa::test {
namespace {

namespace compat = quenfa::blitz::compat;

const std::string kScript = std::string(QUENFA_TEST_DATA_DIR) + "/blitz/compat_numerics.py";

double f64(const std::string& hex) {
  return std::bit_cast<double>(std::stoull(hex, nullptr, 16));
}
float f32(const std::string& hex) {
  return std::bit_cast<float>(static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16)));
}

std::string hex(double v) {
  char buffer[17];
  std::snprintf(buffer, sizeof buffer, "%016llx",
                static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(v)));
  return buffer;
}
std::string hex(float v) {
  char buffer[9];
  std::snprintf(buffer, sizeof buffer, "%08x", std::bit_cast<std::uint32_t>(v));
  return buffer;
}

// The functions of the brentq cases, in the script's operation order.
double brent_case(const std::string& family, double c, double xa, double xb) {
  if (family == "gamma_shape") {
    return compat::brent_root(
        [c](double a) { return (std::log(a) - compat::scipy_digamma(a)) - c; }, xa, xb);
  }
  if (family == "cubic") {
    return compat::brent_root([c](double x) { return (x * x) * x - c; }, xa, xb);
  }
  if (family == "exp") {
    return compat::brent_root([c](double x) { return std::exp(x) - c; }, xa, xb);
  }
  ADD_FAILURE() << "unknown brentq family " << family;
  return NAN;
}

// Our value for one case, as hex bits.
std::string compute(const CompatCase& c) {
  const auto& in = c.inputs;
  if (c.kind == "sum_f64" || c.kind == "sum_f32") {
    const auto values = sum_inputs(static_cast<std::uint32_t>(std::stoul(in.at(0))),
                                   static_cast<std::size_t>(std::stoull(in.at(1))));
    if (c.kind == "sum_f64") return hex(compat::numpy_pairwise_sum_f64(values));
    std::vector<float> narrow(values.begin(), values.end());
    return hex(compat::numpy_pairwise_sum_f32(narrow));
  }
  if (c.kind == "log_f32") return hex(compat::numpy_log_f32(f32(in.at(0))));
  if (c.kind == "digamma") return hex(compat::scipy_digamma(f64(in.at(0))));
  if (c.kind == "gammainc") return hex(compat::igam(f64(in.at(0)), f64(in.at(1))));
  if (c.kind == "gammaincc") return hex(compat::igamc(f64(in.at(0)), f64(in.at(1))));
  if (c.kind == "norm_isf") return hex(compat::normal_isf(f64(in.at(0))));
  if (c.kind == "brentq") {
    return hex(brent_case(in.at(0), f64(in.at(1)), f64(in.at(2)), f64(in.at(3))));
  }
  ADD_FAILURE() << "unknown case kind " << c.kind;
  return {};
}

}  // namespace

CompatVectors parse_compat_vectors(std::string_view text) {
  CompatVectors vectors;
  std::istringstream lines{std::string(text)};
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    const auto bar = line.find(" | ");
    if (bar == std::string::npos) {
      ADD_FAILURE() << "malformed line: " << line;
      continue;
    }
    std::istringstream head(line.substr(0, bar));
    CompatCase c;
    head >> c.kind;
    if (c.kind == "versions") {
      const auto rest = line.substr(bar + 3);
      const auto second = rest.find(" | ");
      vectors.numpy_version = rest.substr(0, second);
      vectors.scipy_version = second == std::string::npos ? "" : rest.substr(second + 3);
      continue;
    }
    for (std::string field; head >> field;) c.inputs.push_back(field);
    c.expected = line.substr(bar + 3);
    vectors.cases.push_back(std::move(c));
  }
  return vectors;
}

const CompatVectors& committed_compat_vectors() {
  static const CompatVectors vectors = [] {
    std::ifstream in(std::string(QUENFA_TEST_DATA_DIR) + "/blitz/compat_numerics.txt");
    EXPECT_TRUE(in) << "missing data/blitz/compat_numerics.txt";
    std::stringstream text;
    text << in.rdbuf();
    return parse_compat_vectors(text.str());
  }();
  return vectors;
}

const CompatVectors& live_compat_vectors(std::string* skip_reason) {
  static std::string reason;
  static const CompatVectors vectors = [] {
    if (std::system("python3 -c 'import numpy, scipy' > /dev/null 2>&1") != 0) {
      reason = "python3 with numpy and scipy not found (scripts/setup.sh installs them)";
      return CompatVectors{};
    }
    const std::string command = "python3 '" + kScript + "' live";
    const auto text = ::quenfa::test_support::command_output(command);
    EXPECT_TRUE(text) << command;
    return parse_compat_vectors(text.value_or(""));
  }();
  *skip_reason = reason;
  return vectors;
}

std::vector<double> sum_inputs(std::uint32_t seed, std::size_t n) {
  auto stream = random::RMt19937SeedCompat::seed_standard(seed);
  std::vector<double> values(n);
  for (auto& v : values) {
    const std::uint32_t a = stream.next_u32();
    const std::uint32_t b = stream.next_u32();
    const std::uint32_t c = stream.next_u32();
    const double u = ((a >> 5) * 67108864.0 + (b >> 6)) / 9007199254740992.0;
    v = std::ldexp(u - 0.5, static_cast<int>(c % 21) - 10);
  }
  return values;
}

std::size_t expect_compat_kind(const CompatVectors& vectors, std::string_view kind) {
  constexpr int kListed = 12;
  std::size_t checked = 0;
  int mismatches = 0;
  for (const auto& c : vectors.cases) {
    if (c.kind != kind) continue;
    ++checked;
    const std::string got = compute(c);
    if (got == c.expected) continue;
    if (++mismatches <= kListed) {
      std::string inputs;
      for (const auto& field : c.inputs) inputs += " " + field;
      ADD_FAILURE() << kind << inputs << ": expected " << c.expected << ", got " << got
                    << " (NumPy " << vectors.numpy_version << ", SciPy " << vectors.scipy_version
                    << ")";
    }
  }
  EXPECT_EQ(mismatches, 0) << "of " << checked << " " << kind << " cases";
  return checked;
}

}  // namespace quenfa::test
