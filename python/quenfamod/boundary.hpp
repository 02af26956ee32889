// The edge between the interpreter and the engine: C++ exceptions never
// cross it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <new>
#include <string>

#include "quenfa/core/internal_fault.hpp"
#include "quenfa/core/result.hpp"
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

// Runs `body` with the GIL released, so that other Python threads run while
// the engine works; the thread state comes back however `body` leaves,
// including by an exception. `body` must not touch Python objects.
template <class Body>
decltype(auto) without_gil(Body&& body) {
  struct Released {
    PyThreadState* state = PyEval_SaveThread();
    ~Released() { PyEval_RestoreThread(state); }
  } released;
  return body();
}

// Raises the Python exception of an engine error and returns nullptr:
// ValueError for a refused argument, OSError for an input file that cannot
// be read, RuntimeError for everything that fails in an engine.
PyObject* raise_error(const quenfa::Error& error);

// Sets `type` with `message`, whole even past a NUL character, and returns
// nullptr, for `return raise(...)`.
PyObject* raise(PyObject* type, const std::string& message);

}  // namespace quenfamod
