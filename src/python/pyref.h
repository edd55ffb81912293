// Ref: the one owning reference type of the binding layer. Borrowed references stay raw
// PyObject* and short-lived; everything that owns a reference holds a Ref so that every path,
// error paths included, releases it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace tabrix::py {

class Ref {
 public:
  Ref() = default;
  // Takes over a new reference (may be null, e.g. the result of a failed API call).
  static Ref steal(PyObject* p) { return Ref(p); }
  // Adds a reference to a borrowed object.
  static Ref borrow(PyObject* p) {
    Py_XINCREF(p);
    return Ref(p);
  }
  Ref(const Ref& o) : p_(o.p_) { Py_XINCREF(p_); }
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Ref& operator=(Ref o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~Ref() { Py_XDECREF(p_); }

  PyObject* get() const { return p_; }
  // Hands the reference to the caller (for returning to Python or to a stealing API).
  PyObject* release() { return std::exchange(p_, nullptr); }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  explicit Ref(PyObject* p) : p_(p) {}
  PyObject* p_ = nullptr;
};

}  // namespace tabrix::py
