// The quenfamod extension module: multi-phase initialisation that registers
// the four functions and lists them in __all__.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "compat.hpp"
#include "entry_points.hpp"
#include "py_ref.hpp"

namespace quenfamod {

namespace {

// Creates the function, appends its __name__ to __all__ and sets the attribute.
int add_function(PyObject* module, PyMethodDef* def) {
  PyRef module_name(PyModule_GetNameObject(module));
  if (!module_name) return -1;
  PyRef function(PyCMethod_New(def, nullptr, module_name.get(), nullptr));
  if (!function) return -1;
  PyRef name(PyObject_GetAttrString(function.get(), "__name__"));
  if (!name) return -1;

  PyObject* all = PyObject_GetAttrString(module, "__all__");
  if (all == nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
    PyErr_Clear();
    all = PyList_New(0);
    if (all == nullptr || PyObject_SetAttrString(module, "__all__", all) < 0) {
      Py_XDECREF(all);
      return -1;
    }
  }
  PyRef all_ref(all);
  if (PyList_Append(all, name.get()) < 0) return -1;
  return PyObject_SetAttr(module, name.get(), function.get());
}

int exec_module(PyObject* module) {
  if (add_function(module, &run_gsea_def) < 0) return -1;
  if (add_function(module, &run_gsea_sets_def) < 0) return -1;
  if (add_function(module, &enrichment_plot_def) < 0) return -1;
  return add_function(module, &table_plot_def);
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    QUENFAMOD_GIL_SLOT{0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "quenfamod",  // m_name
    "",           // m_doc
    0,            // m_size: no per-module state
    nullptr,      // m_methods
    slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

}  // namespace quenfamod

PyMODINIT_FUNC PyInit_quenfamod(void) {
  return PyModuleDef_Init(&quenfamod::module_def);
}
