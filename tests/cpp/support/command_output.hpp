// Runs a reference program (R, Python) from a test and collects its output.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quenfa::test_support {

// What `command` (run by the shell) wrote to standard output, or nothing when
// it could not be started or exited with a non-zero status.
std::optional<std::string> command_output(const std::string& command);

// Whether QUENFA_REQUIRE_REFERENCE_TOOLS is set, as `make test` (which installs
// R, NumPy, SciPy, statsmodels and mpmath) sets it.
bool reference_tools_required();

}  // namespace quenfa::test_support

// Ends a test whose reference tool is missing: a failure naming what to
// install when reference tools are required, a skip otherwise.
#define QUENFA_REFERENCE_TOOL_MISSING(what)                                      \
  do {                                                                           \
    if (::quenfa::test_support::reference_tools_required()) {                    \
      GTEST_FAIL() << what << " (make setup installs it; see scripts/setup.sh)"; \
    }                                                                            \
    GTEST_SKIP() << what;                                                        \
  } while (0)

namespace quenfa::test_support {}  // namespace quenfa::test_support
