// The few interpreter calls that differ between the supported CPython
// versions (3.11 and later), each behind one helper.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace quenfamod::compat {

// The exception currently set, normalised and with its traceback (a new
// reference; nullptr when none), leaving none set.
inline PyObject* take_raised_exception() {
#if PY_VERSION_HEX >= 0x030C0000
  return PyErr_GetRaisedException();
#else
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  PyErr_NormalizeException(&type, &value, &tb);
  if (tb != nullptr && value != nullptr) PyException_SetTraceback(value, tb);
  Py_XDECREF(type);
  Py_XDECREF(tb);
  return value;
#endif
}

// Sets `exc` (a reference taken by take_raised_exception, consumed) as the
// current exception.
inline void restore_raised_exception(PyObject* exc) {
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(exc);
#else
  PyErr_Restore(Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(exc))), exc,
                PyException_GetTraceback(exc));
#endif
}

// Adds `note` to the exception currently set (BaseException.add_note). Any
// failure while adding the note leaves the original exception in place.
inline void add_note_to_current_exception(const char* note) {
  PyObject* exc = take_raised_exception();
  if (exc == nullptr) return;
  PyObject* res = PyObject_CallMethod(exc, "add_note", "s", note);
  if (res == nullptr) PyErr_Clear();
  Py_XDECREF(res);
  restore_raised_exception(exc);
}

}  // namespace quenfamod::compat

// The module runs without the global lock on free-threaded builds (3.13+).
#if PY_VERSION_HEX >= 0x030D0000
#define QUENFAMOD_GIL_SLOT {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#else
#define QUENFAMOD_GIL_SLOT
#endif
