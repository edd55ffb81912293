// The module `tabrix`: its state, the exception boundary every entry point goes through, and
// the helpers shared by the Python-facing files.
#pragma once

#include "python/pyref.h"

#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tabrix::py {

struct ModuleState {
  PyObject* panic_type;  // PanicException, derived from BaseException
};

// The module's state, found through its definition (valid once the module is imported).
ModuleState* module_state();

// Raises the module's fatal error (PanicException) with `message`; returns null.
PyObject* raise_panic(std::string_view message);
// Raises `type` with the text `message`; returns null.
PyObject* set_error(PyObject* type, std::string_view message);
// Raises ValueError with a display text; returns null.
PyObject* raise_value_error(std::string_view message);

// Takes the pending exception and returns it as "QualifiedTypeName: text" (for example
// "ZeroDivisionError: division by zero"); the exception is cleared.
std::string take_exception_text();

using FastFunction = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// The exception boundary: no C++ exception crosses into Python. std::bad_alloc becomes
// MemoryError; anything else ends the call with PanicException.
template <FastFunction Impl>
PyObject* guarded(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) noexcept {
  try {
    return Impl(self, args, nargs, kwnames);
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::exception& e) {
    return raise_panic(e.what());
  } catch (...) {
    return raise_panic("unknown internal error");
  }
}

// A METH_FASTCALL | METH_KEYWORDS entry of a method table, wrapped in the boundary.
template <FastFunction Impl>
constexpr PyMethodDef method(const char* name, const char* doc) {
  return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&guarded<Impl>)),
          METH_FASTCALL | METH_KEYWORDS, doc};
}

}  // namespace tabrix::py
