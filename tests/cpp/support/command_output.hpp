// Runs a reference program (R, Python) from a test and collects its output.
#pragma once

#include <optional>
#include <string>

namespace quenfa::test_support {

// What `command` (run by the shell) wrote to standard output, or nothing when
// it could not be started or exited with a non-zero status.
std::optional<std::string> command_output(const std::string& command);

}  // namespace quenfa::test_support
