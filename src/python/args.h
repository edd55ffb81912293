// Argument parsing for METH_FASTCALL | METH_KEYWORDS entry points, and the converters from
// Python objects to the engine's argument types with the module's error texts:
//   TypeError("argument 'row': 'str' object cannot be interpreted as an integer")
//   OverflowError for ints outside the parameter's range
//   TypeError for a str given where a sequence is expected.
// Every function returns false / nullopt with a Python exception set on failure.
#pragma once

#include "python/pyref.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabrix::py {

// Binds positional and keyword arguments to `names` in order. The first `required` names
// must be given; the rest are optional and stay null when omitted. `out` receives borrowed
// references and must hold names.size() slots.
bool parse_args(const char* func, std::initializer_list<const char*> names, size_t required,
                PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out);

// The common shapes: no argument at all, and one str argument `name`.
bool no_args(const char* func, Py_ssize_t nargs, PyObject* kwnames);
std::optional<std::string_view> one_str(const char* func, const char* name, PyObject* const* args,
                                        Py_ssize_t nargs, PyObject* kwnames);

// Raises TypeError "argument '{name}': {message}".
void raise_argument_error(const char* name, std::string_view message);

std::optional<uint32_t> to_u32(PyObject* obj, const char* name);
std::optional<int32_t> to_i32(PyObject* obj, const char* name);
std::optional<uint64_t> to_size(PyObject* obj, const char* name);
// A view of the str's UTF-8 text, valid while `obj` lives.
std::optional<std::string_view> to_str(PyObject* obj, const char* name);
std::optional<bool> to_bool(PyObject* obj, const char* name);

// The items of a sequence parameter (a str is refused), as a new tuple that holds them while
// they are converted, whatever the conversions do to the original.
Ref to_sequence(PyObject* obj, const char* name);
std::optional<std::vector<std::string>> to_str_list(PyObject* obj, const char* name);
std::optional<std::vector<uint32_t>> to_u32_list(PyObject* obj, const char* name);

// The UTF-8 text of a formula argument. A str holding lone surrogates, which strict UTF-8
// cannot encode, is carried in their 3-byte forms: each still counts as one character, so
// offsets agree with Python's indexing and every str gets an answer. A non-str raises the
// TypeError naming `name`.
struct FormulaArg {
  Ref bytes;  // owns the text when it had to be encoded with "surrogatepass"
  std::string_view text;
};
std::optional<FormulaArg> to_formula(PyObject* obj, const char* name = "formula");

// Conversions from engine types to new Python objects (null with an exception on failure).
PyObject* new_str(std::string_view s);
// A str of an engine text derived from a formula argument: lone surrogates that came in
// through `to_formula` go back out as they came.
PyObject* new_text(std::string_view s);

}  // namespace tabrix::py
