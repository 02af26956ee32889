// The few interpreter calls that differ between the supported CPython
// versions (3.11 and later), each behind one helper.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace quenfamod::compat {

// Adds `note` to the exception currently set (BaseException.add_note). Any
// failure while adding the note leaves the original exception in place.
inline void add_note_to_current_exception(const char* note) {
#if PY_VERSION_HEX >= 0x030C0000
  PyObject* exc = PyErr_GetRaisedException();
#else
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  PyErr_NormalizeException(&type, &value, &tb);
  if (tb != nullptr && value != nullptr) PyException_SetTraceback(value, tb);
  Py_XDECREF(type);
  Py_XDECREF(tb);
  PyObject* exc = value;
#endif
  if (exc == nullptr) return;
  PyObject* res = PyObject_CallMethod(exc, "add_note", "s", note);
  if (res == nullptr) PyErr_Clear();
  Py_XDECREF(res);
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(exc);
#else
  PyErr_Restore(Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(exc))), exc,
                PyException_GetTraceback(exc));
#endif
}

}  // namespace quenfamod::compat

// The module runs without the global lock on free-threaded builds (3.13+).
#if PY_VERSION_HEX >= 0x030D0000
#define QUENFAMOD_GIL_SLOT {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#else
#define QUENFAMOD_GIL_SLOT
#endif
