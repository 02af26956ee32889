#include "results.hpp"

#include "boundary.hpp"

namespace quenfamod {

namespace {

PyObject* optional_float(const std::optional<double>& value) {
  return value ? PyFloat_FromDouble(*value) : Py_NewRef(Py_None);
}

PyObject* str_from(const std::string& text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// Sets `key` to `value` (a new reference, stolen); false on failure.
bool set_item(PyObject* dict, const char* key, PyObject* value) {
  if (value == nullptr) return false;
  const int rc = PyDict_SetItemString(dict, key, value);
  Py_DECREF(value);
  return rc == 0;
}

PyObject* leading_edge_to_py(const std::vector<std::string>& genes) {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(genes.size()));
  if (list == nullptr) return nullptr;
  for (std::size_t i = 0; i < genes.size(); ++i) {
    PyObject* gene = str_from(genes[i]);
    if (gene == nullptr) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), gene);
  }
  return list;
}

PyObject* record_to_py(const quenfa::EnrichmentResult& r) {
  PyObject* dict = PyDict_New();
  if (dict == nullptr) return nullptr;
  const bool ok = set_item(dict, "pathway", str_from(r.pathway)) &&
                  set_item(dict, "size", PyLong_FromUnsignedLongLong(r.size)) &&
                  set_item(dict, "es", PyFloat_FromDouble(r.es)) &&
                  set_item(dict, "nes", optional_float(r.nes)) &&
                  set_item(dict, "pval", PyFloat_FromDouble(r.pval)) &&
                  set_item(dict, "padj", optional_float(r.padj)) &&
                  set_item(dict, "log2err", optional_float(r.log2err)) &&
                  set_item(dict, "leading_edge", leading_edge_to_py(r.leading_edge));
  if (!ok) {
    Py_DECREF(dict);
    return nullptr;
  }
  return dict;
}

}  // namespace

PyObject* results_to_py(std::vector<quenfa::EnrichmentResult>&& records) {
  std::vector<quenfa::EnrichmentResult> owned = std::move(records);
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(owned.size()));
  if (list == nullptr) return nullptr;
  for (std::size_t i = 0; i < owned.size(); ++i) {
    PyObject* dict = record_to_py(owned[i]);
    if (dict == nullptr) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), dict);
    owned[i] = {};  // release each record once converted
  }
  return list;
}

}  // namespace quenfamod
