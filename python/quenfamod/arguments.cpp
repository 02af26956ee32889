#include "arguments.hpp"

#include "compat.hpp"
#include "py_ref.hpp"

#include <string_view>
#include <unordered_map>

namespace quenfamod {

namespace {

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'", as CPython lists missing names.
std::string join_names(const std::vector<const char*>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
    out += "'";
    out += names[i];
    out += "'";
  }
  return out;
}

// UTF-8 text of a str; fails (UnicodeEncodeError) on lone surrogates.
bool utf8_of(PyObject* str, std::string& out) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str, &size);
  if (data == nullptr) return false;
  out.assign(data, static_cast<std::size_t>(size));
  return true;
}

}  // namespace

bool bind_arguments(const ParameterSignature& signature, PyObject* const* args, Py_ssize_t nargs_in,
                    PyObject* kwnames, std::vector<PyObject*>& slots) {
  const std::size_t total = signature.parameters.size();
  const std::size_t nargs = static_cast<std::size_t>(nargs_in);
  slots.assign(total, nullptr);
  if (nargs > total) {
    PyErr_Format(PyExc_TypeError,
                 "%s() takes from %zu to %zu positional arguments but %zu %s given", signature.name,
                 signature.required, total, nargs, nargs == 1 ? "was" : "were");
    return false;
  }
  for (std::size_t i = 0; i < nargs; ++i) slots[i] = args[i];

  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    if (!PyUnicode_Check(key)) {
      PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", signature.name);
      return false;
    }
    std::size_t index = total;
    for (std::size_t i = 0; i < total; ++i) {
      if (PyUnicode_CompareWithASCIIString(key, signature.parameters[i]) == 0) {
        index = i;
        break;
      }
    }
    if (index == total) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", signature.name,
                   key);
      return false;
    }
    if (slots[index] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", signature.name,
                   signature.parameters[index]);
      return false;
    }
    slots[index] = args[nargs + static_cast<std::size_t>(k)];
  }

  std::vector<const char*> missing;
  for (std::size_t i = 0; i < signature.required; ++i) {
    if (slots[i] == nullptr) missing.push_back(signature.parameters[i]);
  }
  if (!missing.empty()) {
    PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %s",
                 signature.name, missing.size(), missing.size() == 1 ? "" : "s",
                 join_names(missing).c_str());
    return false;
  }
  return true;
}

void add_parameter_note(const ParameterSignature& signature, std::size_t index) {
  const std::string note = std::string("while processing '") + signature.parameters[index] + "'";
  compat::add_note_to_current_exception(note.c_str());
}

bool convert_ranks(PyObject* obj, RankInput& out) {
  if (!PyDict_Check(obj)) {
    PyErr_Format(PyExc_TypeError, "expected a dict of str to float, got %.200s",
                 Py_TYPE(obj)->tp_name);
    return false;
  }
  const Py_ssize_t size = PyDict_Size(obj);
  out.genes.clear();
  out.scores.clear();
  out.genes.reserve(static_cast<std::size_t>(size));
  out.scores.reserve(static_cast<std::size_t>(size));
  bool all_exact_str = true;
  Py_ssize_t pos = 0;
  PyObject *key, *value;
  while (PyDict_Next(obj, &pos, &key, &value)) {
    if (!PyUnicode_Check(key)) {
      PyErr_Format(PyExc_TypeError, "ranks keys must be str, not %.200s", Py_TYPE(key)->tp_name);
      return false;
    }
    all_exact_str = all_exact_str && PyUnicode_CheckExact(key);
    std::string gene;
    if (!utf8_of(key, gene)) return false;
    double score;
    if (PyFloat_CheckExact(value)) {
      score = PyFloat_AS_DOUBLE(value);
    } else {
      // __float__ or __index__ may run Python code that changes the dict.
      Py_INCREF(value);
      score = PyFloat_AsDouble(value);
      Py_DECREF(value);
      if (score == -1.0 && PyErr_Occurred()) return false;
      if (PyDict_Size(obj) != size) {
        PyErr_SetString(PyExc_RuntimeError, "dictionary changed size during iteration");
        return false;
      }
    }
    out.genes.push_back(std::move(gene));
    out.scores.push_back(score);
  }
  if (!all_exact_str) {
    // Keys of str subclasses may repeat an identifier; like a map insertion,
    // the later score replaces the earlier one at the earlier place.
    std::unordered_map<std::string_view, std::size_t> first;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < out.genes.size(); ++i) {
      auto [it, fresh] = first.try_emplace(out.genes[i], kept);
      if (fresh) {
        if (kept != i) {
          first.erase(it);
          out.genes[kept] = std::move(out.genes[i]);
          out.scores[kept] = out.scores[i];
          first.emplace(out.genes[kept], kept);
        }
        ++kept;
      } else {
        out.scores[it->second] = out.scores[i];
      }
    }
    out.genes.resize(kept);
    out.scores.resize(kept);
  }
  return true;
}

bool convert_str(PyObject* obj, std::string& out) {
  if (!PyUnicode_Check(obj)) {
    PyErr_Format(PyExc_TypeError, "expected str, got %.200s", Py_TYPE(obj)->tp_name);
    return false;
  }
  return utf8_of(obj, out);
}

bool convert_path(PyObject* obj, std::string& out) {
  if (!convert_str(obj, out)) return false;
  if (out.find('\0') != std::string::npos) {
    PyErr_SetString(PyExc_ValueError, "embedded null character in path");
    return false;
  }
  return true;
}

bool convert_lowered_str(PyObject* obj, std::string& out) {
  if (!PyUnicode_Check(obj)) {
    PyErr_Format(PyExc_TypeError, "expected str, got %.200s", Py_TYPE(obj)->tp_name);
    return false;
  }
  PyObject* exact = PyUnicode_FromObject(obj);  // plain str even for a subclass
  if (exact == nullptr) return false;
  PyObject* lowered = PyObject_CallMethod(exact, "lower", nullptr);
  Py_DECREF(exact);
  if (lowered == nullptr) return false;
  const bool ok = utf8_of(lowered, out);
  Py_DECREF(lowered);
  return ok;
}

bool convert_u64(PyObject* obj, std::uint64_t& out) {
  PyObject* index = PyNumber_Index(obj);
  if (index == nullptr) return false;
  const unsigned long long value = PyLong_AsUnsignedLongLong(index);
  Py_DECREF(index);
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
  out = value;
  return true;
}

bool convert_u32(PyObject* obj, std::uint32_t& out) {
  std::uint64_t wide;
  if (!convert_u64(obj, wide)) return false;
  if (wide > 4294967295ULL) {
    PyErr_SetString(PyExc_OverflowError, "int too big to convert to an unsigned 32-bit integer");
    return false;
  }
  out = static_cast<std::uint32_t>(wide);
  return true;
}

bool convert_f64(PyObject* obj, double& out) {
  const double value = PyFloat_AsDouble(obj);
  if (value == -1.0 && PyErr_Occurred()) return false;
  out = value;
  return true;
}

bool convert_bool(PyObject* obj, bool& out) {
  if (PyBool_Check(obj)) {
    out = obj == Py_True;
    return true;
  }
  const std::string_view type_name = Py_TYPE(obj)->tp_name;
  if (type_name == "numpy.bool" || type_name == "numpy.bool_") {
    const int truth = PyObject_IsTrue(obj);
    if (truth < 0) return false;
    out = truth != 0;
    return true;
  }
  PyErr_Format(PyExc_TypeError, "expected bool, got %.200s", Py_TYPE(obj)->tp_name);
  return false;
}

bool convert_str_sequence(PyObject* obj, std::vector<std::string>& out) {
  out.clear();
  return for_each_in_sequence(obj, "str", [&](PyObject* item, Py_ssize_t) {
    return convert_str(item, out.emplace_back());
  });
}

namespace {

// Tuples (name, genes), or (name, description, genes) with `described`.
bool convert_pathway_tuples(PyObject* obj, bool described, quenfa::PathwayDb& out) {
  const char* shape = described ? "(name, description, genes)" : "(name, genes)";
  const Py_ssize_t length = described ? 3 : 2;
  const std::string tuples = std::string(shape) + " tuples";
  out.clear();
  return for_each_in_sequence(obj, tuples.c_str(), [&](PyObject* item, Py_ssize_t) {
    quenfa::Pathway pathway;
    bool ok = false;
    if (!PyTuple_Check(item)) {
      PyErr_Format(PyExc_TypeError, "expected a %s tuple, got %.200s", shape,
                   Py_TYPE(item)->tp_name);
    } else if (PyTuple_GET_SIZE(item) != length) {
      PyErr_Format(PyExc_ValueError, "expected a %s tuple of length %zd, got length %zd", shape,
                   length, PyTuple_GET_SIZE(item));
    } else {
      PyObject* description = described ? PyTuple_GET_ITEM(item, 1) : Py_None;
      ok = convert_str(PyTuple_GET_ITEM(item, 0), pathway.name) &&
           (description == Py_None || convert_str(description, pathway.description.emplace())) &&
           convert_str_sequence(PyTuple_GET_ITEM(item, length - 1), pathway.genes);
    }
    if (ok) out.push_back(std::move(pathway));
    return ok;
  });
}

}  // namespace

bool convert_pathway_pairs(PyObject* obj, quenfa::PathwayDb& out) {
  return convert_pathway_tuples(obj, false, out);
}

bool convert_pathways(PyObject* obj, quenfa::PathwayDb& out) {
  return convert_pathway_tuples(obj, true, out);
}

}  // namespace quenfamod
