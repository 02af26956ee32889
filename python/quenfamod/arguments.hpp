// Binding of fast-call arguments to parameters and the conversions of each
// declared parameter type. Every converter returns false with a Python
// exception set.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "py_ref.hpp"
#include "quenfa/core/pathway.hpp"

namespace quenfamod {

struct ParameterSignature {
  const char* name;
  std::span<const char* const> parameters;  // all positional-or-keyword
  std::size_t required;                     // leading parameters without default
};

// Places each argument in its parameter's slot (borrowed; nullptr when not
// given). Raises TypeError in CPython's wording on a binding error.
bool bind_arguments(const ParameterSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::vector<PyObject*>& slots);

// Identifier -> score pairs copied from a dict in its iteration order.
struct RankInput {
  std::vector<std::string> genes;
  std::vector<double> scores;
};

bool convert_ranks(PyObject* obj, RankInput& out);
bool convert_str(PyObject* obj, std::string& out);
// A str naming a file: as convert_str, and a NUL character, which no file
// name can hold, is a ValueError (the operating system would see a shorter
// name).
bool convert_path(PyObject* obj, std::string& out);
// A str lower-cased as Python's str.lower() does, for names of choices.
bool convert_lowered_str(PyObject* obj, std::string& out);
bool convert_u64(PyObject* obj, std::uint64_t& out);
bool convert_u32(PyObject* obj, std::uint32_t& out);
bool convert_f64(PyObject* obj, double& out);
bool convert_bool(PyObject* obj, bool& out);
bool convert_str_sequence(PyObject* obj, std::vector<std::string>& out);
// A sequence of (name: str, genes: sequence of str) tuples.
bool convert_pathway_pairs(PyObject* obj, quenfa::PathwayDb& out);
// A sequence of (name: str, description: str | None, genes: sequence of str)
// tuples.
bool convert_pathways(PyObject* obj, quenfa::PathwayDb& out);

// Converts slot `index` with `convert` when the argument was given; the
// default already in `out` stays otherwise. A failure gets the note
// "while processing '{parameter}'".
template <class T, class Convert>
bool convert_arg(const ParameterSignature& signature, const std::vector<PyObject*>& slots,
                 std::size_t index, Convert convert, T& out);

// As convert_arg for an optional parameter: None (or absence) leaves it empty.
template <class T, class Convert>
bool convert_optional_arg(const ParameterSignature& signature, const std::vector<PyObject*>& slots,
                          std::size_t index, Convert convert, std::optional<T>& out);

void add_parameter_note(const ParameterSignature& signature, std::size_t index);

// Calls item(element, index) for each element of a sequence that is not a
// str, until one call returns false; otherwise raises TypeError "expected a
// sequence of {what}, got {type}".
template <class Item>
bool for_each_in_sequence(PyObject* obj, const char* what, Item&& item) {
  if (PyUnicode_Check(obj) || !PySequence_Check(obj)) {
    PyErr_Format(PyExc_TypeError, "expected a sequence of %s, got %.200s", what,
                 Py_TYPE(obj)->tp_name);
    return false;
  }
  PyRef fast(PySequence_Fast(obj, "expected a sequence"));
  if (!fast) return false;
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(fast.get()); ++i) {
    if (!item(PySequence_Fast_GET_ITEM(fast.get(), i), i)) return false;
  }
  return true;
}

template <class T, class Convert>
bool convert_arg(const ParameterSignature& signature, const std::vector<PyObject*>& slots,
                 std::size_t index, Convert convert, T& out) {
  if (slots[index] == nullptr) return true;
  if (convert(slots[index], out)) return true;
  add_parameter_note(signature, index);
  return false;
}

template <class T, class Convert>
bool convert_optional_arg(const ParameterSignature& signature, const std::vector<PyObject*>& slots,
                          std::size_t index, Convert convert, std::optional<T>& out) {
  if (slots[index] == nullptr || slots[index] == Py_None) return true;
  T value{};
  if (!convert(slots[index], value)) {
    add_parameter_note(signature, index);
    return false;
  }
  out = std::move(value);
  return true;
}

}  // namespace quenfamod
