#include "boundary.hpp"

#include <cstdio>
#include <cstdlib>

namespace quenfamod {

void raise_internal_fault(const char* what) {
  // The type lives for the whole process: faults can be raised from any call.
  static PyObject* fault_type = nullptr;
  if (fault_type == nullptr) {
    fault_type = PyErr_NewExceptionWithDoc(
        "quenfamod.InternalFault", "A violated internal invariant of quenfamod; please report it.",
        PyExc_BaseException, nullptr);
    if (fault_type == nullptr) {
      // No exception type can be made while already handling a fault.
      std::fputs("uncaught panic at ffi boundary\n", stderr);
      std::abort();
    }
  }
  PyErr_SetString(fault_type, what);
}

PyObject* raise(PyObject* type, const std::string& message) {
  // Messages quote the caller's text, which is UTF-8 from a str; "replace"
  // keeps the message even if a file's bytes slipped in.
  PyObject* text =
      PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
  if (text == nullptr) return nullptr;
  PyErr_SetObject(type, text);
  Py_DECREF(text);
  return nullptr;
}

PyObject* raise_error(const quenfa::Error& error) {
  PyObject* type = PyExc_RuntimeError;
  switch (error.kind) {
    case quenfa::ErrorKind::InvalidArgument:
      type = PyExc_ValueError;
      break;
    case quenfa::ErrorKind::Io:
      if (error.origin == quenfa::ErrorOrigin::Input) type = PyExc_OSError;
      break;
    case quenfa::ErrorKind::Interrupted:
      type = PyExc_KeyboardInterrupt;
      break;
    case quenfa::ErrorKind::Unsupported:
    case quenfa::ErrorKind::Failed:
      break;
  }
  return raise(type, error.message);
}

}  // namespace quenfamod
