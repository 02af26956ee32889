// Value-or-error return type of every engine operation. Engines never throw
// across their boundaries; a failure is one message string.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace quenfa {

struct Error {
  std::string message;
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  const std::string& error() const { return std::get<1>(state_).message; }

 private:
  std::variant<T, Error> state_;
};

// Result of an operation that yields nothing but may fail.
using Status = Result<std::monostate>;
inline Status ok_status() {
  return Status(std::monostate{});
}

}  // namespace quenfa
