// Reference vectors of the blitz reference numerics (data/blitz/compat_numerics.py):
// reading them, rebuilding their generated inputs and checking one kind of
// case against our routines, bit for bit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quenfa::test {

struct CompatCase {
  std::string kind;                 // "sum_f64", "log_f32", "gammainc", ...
  std::vector<std::string> inputs;  // fields before " | "
  std::string expected;             // hex of the expected IEEE bits
};

struct CompatVectors {
  std::string numpy_version;
  std::string scipy_version;
  std::vector<CompatCase> cases;
};

// Parses the script's output.
CompatVectors parse_compat_vectors(std::string_view text);

// The committed vectors (data/blitz/compat_numerics.txt), read once.
const CompatVectors& committed_compat_vectors();

// The script run live against the installed NumPy and SciPy, once per test
// program; nullopt-like empty result with `skip_reason` set when python3 or
// its packages are missing.
const CompatVectors& live_compat_vectors(std::string* skip_reason);

// The inputs of the sum cases: n doubles from MT19937(seed), three raw words
// per value (see sum_inputs() in the script).
std::vector<double> sum_inputs(std::uint32_t seed, std::size_t n);

// Checks every case of `kind` with EXPECT failures (the first few mismatches
// are listed) and returns how many were checked.
std::size_t expect_compat_kind(const CompatVectors& vectors, std::string_view kind);

}  // namespace quenfa::test
