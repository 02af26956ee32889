// A request for more memory than a stated limit allows or than the system
// gives: a std::bad_alloc whose message says what was too large. The Python
// boundary turns it into MemoryError with that message.
#pragma once

#include <new>
#include <string>

namespace quenfa {

class TooLarge : public std::bad_alloc {
 public:
  explicit TooLarge(std::string what) : what_(std::move(what)) {}
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  std::string what_;
};

}  // namespace quenfa
