// Owning reference to a Python object.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace quenfamod {

class PyRef {
 public:
  PyRef() = default;
  explicit PyRef(PyObject* owned) : p_(owned) {}  // takes a new reference
  static PyRef borrow(PyObject* obj) { return PyRef(Py_XNewRef(obj)); }
  PyRef(PyRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  ~PyRef() { Py_XDECREF(p_); }

  PyObject* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  PyObject* p_ = nullptr;
};

}  // namespace quenfamod
