// The edge between the interpreter and the engine: C++ exceptions never
// cross it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <new>
#include <string>

#include "quenfa/core/internal_fault.hpp"
#include "quenfa/core/too_large.hpp"

namespace quenfamod {

// Raises the module's internal-fault exception (a BaseException subclass,
// created on first use) with `what`.
void raise_internal_fault(const char* what);

// Runs `body`, which returns a new reference or nullptr with an exception
// set; an internal fault or any other escaping C++ exception becomes the
// internal-fault exception, memory exhaustion a MemoryError that says what
// was too large when the engine knows.
template <class Body>
PyObject* guarded_call(Body&& body) noexcept {
  try {
    return body();
  } catch (const quenfa::TooLarge& e) {
    PyErr_SetString(PyExc_MemoryError, e.what());
  } catch (const std::bad_alloc&) {
    PyErr_SetString(PyExc_MemoryError, "not enough memory for the data of this call");
  } catch (const std::exception& e) {
    raise_internal_fault(e.what());
  } catch (...) {
    raise_internal_fault("unknown internal fault");
  }
  return nullptr;
}

// Sets `type` with `message` and returns nullptr, for `return raise(...)`.
inline PyObject* raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  return nullptr;
}

}  // namespace quenfamod
