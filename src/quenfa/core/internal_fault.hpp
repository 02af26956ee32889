// A violated internal invariant. Thrown only for programming errors, never for
// bad input; the Python boundary turns it into its own BaseException subclass.
#pragma once

#include <stdexcept>
#include <string>

namespace quenfa {

class InternalFault : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

[[noreturn]] inline void internal_fault(const std::string& what) {
  throw InternalFault(what);
}

#define QUENFA_ENSURE(cond, what)                \
  do {                                           \
    if (!(cond)) ::quenfa::internal_fault(what); \
  } while (0)

}  // namespace quenfa
