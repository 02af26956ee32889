// Value-or-error return type of every engine operation. Engines never throw
// across their boundaries; a failure is an Error: what kind of failure, its
// message, and whether it arose while reading the request's inputs or in an
// engine (the Python binding raises a different type for each).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace quenfa {

enum class ErrorKind : std::uint8_t {
  InvalidArgument,  // a value or a combination of arguments the analysis refuses
  Io,               // a file could not be read or written
  Unsupported,      // a feature this build does not have
  Failed,           // an engine could not complete with the data it was given
  Interrupted,      // the caller asked the run to stop before it ended
};

enum class ErrorOrigin : std::uint8_t {
  Input,   // checking the request or reading its input files
  Engine,  // inside an engine, after the request was accepted
};

struct Error {
  ErrorKind kind = ErrorKind::Failed;
  std::string message;
  ErrorOrigin origin = ErrorOrigin::Engine;

  Error() = default;
  // An engine failure with `message`.
  Error(std::string message) : message(std::move(message)) {}
  Error(ErrorKind kind, std::string message, ErrorOrigin origin = ErrorOrigin::Engine)
      : kind(kind), message(std::move(message)), origin(origin) {}
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
  const Error& failure() const { return std::get<1>(state_); }

 private:
  std::variant<T, Error> state_;
};

// Result of an operation that yields nothing but may fail.
using Status = Result<std::monostate>;
inline Status ok_status() {
  return Status(std::monostate{});
}

}  // namespace quenfa
