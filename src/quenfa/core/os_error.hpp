// Text of an operating-system error: its description followed by the code.
#pragma once

#include <cstring>
#include <string>

namespace quenfa {

inline std::string os_error_text(int code) {
  return std::string(std::strerror(code)) + " (os error " + std::to_string(code) + ")";
}

}  // namespace quenfa
