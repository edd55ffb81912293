#include "python/args.h"

#include <cstring>

namespace tabrix::py {

void raise_argument_error(const char* name, std::string_view message) {
  std::string text = std::string("argument '") + name + "': ";
  text += message;
  Ref s = Ref::steal(new_str(text));
  if (s) PyErr_SetObject(PyExc_TypeError, s.get());
}

bool parse_args(const char* func, std::initializer_list<const char*> names, size_t required,
                PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) {
  const size_t count = names.size();
  for (size_t i = 0; i < count; ++i) out[i] = nullptr;
  if (size_t(nargs) > count) {
    PyErr_Format(PyExc_TypeError, "%s() takes at most %zu argument%s (%zd given)", func, count,
                 count == 1 ? "" : "s", nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
  Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    const char* key_text = PyUnicode_AsUTF8(key);
    if (!key_text) return false;
    size_t slot = 0;
    for (const char* n : names) {
      if (std::strcmp(n, key_text) == 0) break;
      ++slot;
    }
    if (slot == count) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%s'", func, key_text);
      return false;
    }
    if (out[slot]) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", func, key_text);
      return false;
    }
    out[slot] = args[nargs + k];
  }
  size_t i = 0;
  for (const char* n : names) {
    if (i < required && !out[i]) {
      PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos %zu)", func, n,
                   i + 1);
      return false;
    }
    ++i;
  }
  return true;
}

bool no_args(const char* func, Py_ssize_t nargs, PyObject* kwnames) {
  return parse_args(func, {}, 0, nullptr, nargs, kwnames, nullptr);
}

std::optional<std::string_view> one_str(const char* func, const char* name, PyObject* const* args,
                                        Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* arg;
  if (!parse_args(func, {name}, 1, args, nargs, kwnames, &arg)) return std::nullopt;
  return to_str(arg, name);
}

namespace {

// Replaces the pending exception's message with "argument '{name}': {message}", keeping
// its type (TypeError, OverflowError).
void prefix_pending_error(const char* name) {
  // Other exception types (raised by a user's __index__, say) pass through unchanged: their
  // constructors may not take a single message.
  if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_OverflowError))
    return;
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  PyErr_NormalizeException(&type, &value, &tb);
  Ref type_ref = Ref::steal(type), value_ref = Ref::steal(value), tb_ref = Ref::steal(tb);
  Ref text = Ref::steal(value ? PyObject_Str(value) : nullptr);
  const char* msg = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
  if (!msg) {
    PyErr_Clear();
    msg = "invalid value";
  }
  PyErr_Format(type ? type : PyExc_TypeError, "argument '%s': %s", name, msg);
}

// The int value of `obj` (via __index__), or null with "argument '...'" TypeError.
Ref as_index(PyObject* obj, const char* name) {
  Ref n = Ref::steal(PyNumber_Index(obj));
  if (!n) prefix_pending_error(name);
  return n;
}

template <class T>
std::optional<T> to_integer(PyObject* obj, const char* name, long long lo, unsigned long long hi,
                            const char* what) {
  Ref n = as_index(obj, name);
  if (!n) return std::nullopt;
  int overflow = 0;
  long long v = PyLong_AsLongLongAndOverflow(n.get(), &overflow);
  if (v == -1 && PyErr_Occurred()) return std::nullopt;
  if (overflow < 0 || (overflow == 0 && v < lo)) {
    PyErr_Format(PyExc_OverflowError, "argument '%s': %s out of range", name, what);
    return std::nullopt;
  }
  if (overflow > 0 || (v >= 0 && static_cast<unsigned long long>(v) > hi)) {
    if (overflow > 0 && hi > static_cast<unsigned long long>(LLONG_MAX)) {
      unsigned long long u = PyLong_AsUnsignedLongLong(n.get());
      if (!PyErr_Occurred()) return static_cast<T>(u);
      PyErr_Clear();
    }
    PyErr_Format(PyExc_OverflowError, "argument '%s': %s out of range", name, what);
    return std::nullopt;
  }
  return static_cast<T>(v);
}

}  // namespace

std::optional<uint32_t> to_u32(PyObject* obj, const char* name) {
  return to_integer<uint32_t>(obj, name, 0, UINT32_MAX, "value of 32-bit unsigned integer");
}

std::optional<int32_t> to_i32(PyObject* obj, const char* name) {
  return to_integer<int32_t>(obj, name, INT32_MIN, INT32_MAX, "value of 32-bit signed integer");
}

std::optional<uint64_t> to_size(PyObject* obj, const char* name) {
  return to_integer<uint64_t>(obj, name, 0, UINT64_MAX, "size value");
}

std::optional<std::string_view> to_str(PyObject* obj, const char* name) {
  if (!PyUnicode_Check(obj)) {
    PyErr_Format(PyExc_TypeError, "argument '%s': '%s' object is not an instance of 'str'", name,
                 Py_TYPE(obj)->tp_name);
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
  if (!data) return std::nullopt;  // lone surrogates: UnicodeEncodeError
  return std::string_view(data, size_t(size));
}

std::optional<bool> to_bool(PyObject* obj, const char* name) {
  if (!PyBool_Check(obj)) {
    PyErr_Format(PyExc_TypeError, "argument '%s': '%s' object is not an instance of 'bool'", name,
                 Py_TYPE(obj)->tp_name);
    return std::nullopt;
  }
  return obj == Py_True;
}

Ref to_sequence(PyObject* obj, const char* name) {
  if (PyUnicode_Check(obj)) {
    raise_argument_error(name, "a str is not accepted as a sequence");
    return Ref();
  }
  if (!PySequence_Check(obj)) {
    PyErr_Format(PyExc_TypeError, "argument '%s': '%s' object is not a sequence", name,
                 Py_TYPE(obj)->tp_name);
    return Ref();
  }
  // A tuple, never the caller's list: converting an item may run Python code (__index__,
  // __float__, a nested sequence's __iter__) that changes the list, and the tuple keeps every
  // item alive and the length fixed until the conversion is done.
  Ref seq = Ref::steal(PySequence_Tuple(obj));
  if (!seq) prefix_pending_error(name);
  return seq;
}

std::optional<std::vector<std::string>> to_str_list(PyObject* obj, const char* name) {
  Ref seq = to_sequence(obj, name);
  if (!seq) return std::nullopt;
  Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.get());
  std::vector<std::string> out;
  out.reserve(size_t(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    auto s = to_str(PySequence_Fast_GET_ITEM(seq.get(), i), name);
    if (!s) return std::nullopt;
    out.emplace_back(*s);
  }
  return out;
}

std::optional<std::vector<uint32_t>> to_u32_list(PyObject* obj, const char* name) {
  Ref seq = to_sequence(obj, name);
  if (!seq) return std::nullopt;
  Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.get());
  std::vector<uint32_t> out;
  out.reserve(size_t(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    auto v = to_u32(PySequence_Fast_GET_ITEM(seq.get(), i), name);
    if (!v) return std::nullopt;
    out.push_back(*v);
  }
  return out;
}

std::optional<FormulaArg> to_formula(PyObject* obj, const char* name) {
  if (!PyUnicode_Check(obj)) {
    to_str(obj, name);  // raises the TypeError naming the argument
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  if (const char* data = PyUnicode_AsUTF8AndSize(obj, &size))
    return FormulaArg{Ref(), std::string_view(data, size_t(size))};
  if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return std::nullopt;
  PyErr_Clear();
  Ref bytes = Ref::steal(PyUnicode_AsEncodedString(obj, "utf-8", "surrogatepass"));
  if (!bytes) return std::nullopt;
  std::string_view text(PyBytes_AS_STRING(bytes.get()), size_t(PyBytes_GET_SIZE(bytes.get())));
  return FormulaArg{std::move(bytes), text};
}

PyObject* new_text(std::string_view s) {
  PyObject* out = PyUnicode_DecodeUTF8(s.data(), Py_ssize_t(s.size()), "surrogatepass");
  if (out || !PyErr_ExceptionMatches(PyExc_UnicodeDecodeError)) return out;
  PyErr_Clear();
  return new_str(s);
}

PyObject* new_str(std::string_view s) {
  return PyUnicode_DecodeUTF8(s.data(), Py_ssize_t(s.size()), "surrogateescape");
}

}  // namespace tabrix::py
