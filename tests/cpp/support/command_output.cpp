#include "support/command_output.hpp"

#include <cstdio>
#include <cstdlib>

namespace quenfa::test_support {

std::optional<std::string> command_output(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string text;
  char buffer[65536];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    text.append(buffer, got);
  }
  if (pclose(pipe) != 0) return std::nullopt;
  return text;
}

bool reference_tools_required() {
  return std::getenv("QUENFA_REQUIRE_REFERENCE_TOOLS") != nullptr;
}

}  // namespace quenfa::test_support
