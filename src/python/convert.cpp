#include "python/convert.h"

#include <cmath>
#include <string_view>

#include "python/args.h"
#include "python/module.h"

namespace tabrix::py {

PyObject* custom_to_py(const CustomValue& c) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return nullptr;
  for (auto [key, text] : {std::pair{"type_tag", &c.type_tag}, std::pair{"data", &c.data}}) {
    Ref s = Ref::steal(new_str(*text));
    if (!s || PyDict_SetItemString(dict.get(), key, s.get()) < 0) return nullptr;
  }
  return dict.release();
}

PyObject* value_to_py(const CellValue& v) {
  switch (v.kind()) {
    case CellValue::Kind::Number: {
      double x = v.as_double();
      if (std::isfinite(x) && x == std::trunc(x) && std::fabs(x) < 9007199254740992.0)
        return PyLong_FromLongLong(static_cast<long long>(x));
      return PyFloat_FromDouble(x);
    }
    case CellValue::Kind::String:
      return new_str(v.as_string());
    case CellValue::Kind::Boolean:
      return PyBool_FromLong(v.as_bool());
    case CellValue::Kind::Empty:
      Py_RETURN_NONE;
    case CellValue::Kind::Error:
      return new_str(v.as_error().display());
    case CellValue::Kind::Custom:
      return custom_to_py(v.as_custom());
  }
  Py_RETURN_NONE;
}

PyObject* text_or_none(const CellValue& v) {
  if (v.is_empty()) Py_RETURN_NONE;
  return new_str(v.display());
}

namespace {

// Python's float conversion (float, int, __float__, __index__); nullopt, with no exception
// left pending, when the object does not convert.
std::optional<double> float_of(PyObject* obj) {
  if (PyFloat_Check(obj)) return PyFloat_AS_DOUBLE(obj);
  double x = PyFloat_AsDouble(obj);
  if (x == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    return std::nullopt;
  }
  return x;
}

// An entry of a dict, held: a key's __eq__ called by a later lookup may remove it from the
// dict. Null when missing (a lookup that raises counts as missing).
Ref dict_entry(PyObject* dict, const char* key) {
  return Ref::borrow(PyDict_GetItemString(dict, key));
}

// A str entry of a dict, copied: 1 found, 0 missing, -1 present but not a str, -2 the str
// cannot be encoded (exception pending).
int str_entry(PyObject* dict, const char* key, std::string& out) {
  Ref item = dict_entry(dict, key);
  if (!item) return 0;
  if (!PyUnicode_Check(item.get())) return -1;
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(item.get(), &size);
  if (!data) return -2;
  out.assign(data, size_t(size));
  return 1;
}

}  // namespace

std::optional<CellValue> py_to_value(PyObject* obj) {
  if (obj == Py_None) return CellValue::empty();
  if (PyBool_Check(obj)) return CellValue::boolean(obj == Py_True);
  if (!PyUnicode_Check(obj))
    if (auto x = float_of(obj)) return CellValue::number(*x);
  if (PyUnicode_Check(obj)) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
    if (!data) return std::nullopt;
    return CellValue::string(std::string(data, size_t(size)));
  }
  if (PyDict_Check(obj)) {
    std::string tag, data;
    int t = str_entry(obj, "type_tag", tag);
    if (t == -2) return std::nullopt;
    int d = t == 1 ? str_entry(obj, "data", data) : 0;
    if (d == -2) return std::nullopt;
    if (t == 1 && d == 1) return CellValue::custom(std::move(tag), std::move(data));
  }
  Ref s = Ref::steal(PyObject_Str(obj));
  if (!s) return std::nullopt;
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(s.get(), &size);
  if (!data) return std::nullopt;
  return CellValue::string(std::string(data, size_t(size)));
}

namespace {

std::nullopt_t payload_error(std::string_view message) {
  raise_value_error(message);
  return std::nullopt;
}

// A required str entry of kind `kind`: "{kind}: missing key `{key}`" or "{kind}: `{key}`
// must be str".
std::optional<std::string> required_str(PyObject* dict, std::string_view kind, const char* key) {
  std::string out;
  switch (str_entry(dict, key, out)) {
    case 1:
      return out;
    case 0:
      return payload_error(std::string(kind) + ": missing key `" + key + "`");
    case -1:
      return payload_error(std::string(kind) + ": `" + key + "` must be str");
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<PayloadInput> payload_to_input(PyObject* payload) {
  if (!PyDict_Check(payload)) return payload_error("payload must be a dict");
  std::string kind;
  switch (str_entry(payload, "kind", kind)) {
    case 0:
      return payload_error("missing key `kind`");
    case -1:
      return payload_error("`kind` must be str");
    case -2:
      return std::nullopt;
    default:
      break;
  }
  PayloadInput in;
  if (kind == "raw") {
    auto text = required_str(payload, kind, "value");
    if (!text) return std::nullopt;
    in.raw = true;
    in.text = std::move(*text);
  } else if (kind == "empty") {
    in.raw = true;
  } else if (kind == "string") {
    auto text = required_str(payload, kind, "value");
    if (!text) return std::nullopt;
    in.value = CellValue::string(std::move(*text));
  } else if (kind == "number") {
    Ref value = dict_entry(payload, "value");
    if (!value) return payload_error("number: missing key `value`");
    auto x = PyUnicode_Check(value.get()) ? std::nullopt : float_of(value.get());
    if (!x) return payload_error("number: `value` must be numeric");
    in.value = CellValue::number(*x);
  } else if (kind == "boolean") {
    Ref value = dict_entry(payload, "value");
    if (!value) return payload_error("boolean: missing key `value`");
    if (!PyBool_Check(value.get())) return payload_error("boolean: `value` must be bool");
    in.value = CellValue::boolean(value.get() == Py_True);
  } else if (kind == "custom") {
    auto tag = required_str(payload, kind, "type_tag");
    if (!tag) return std::nullopt;
    auto data = required_str(payload, kind, "data");
    if (!data) return std::nullopt;
    in.value = CellValue::custom(std::move(*tag), std::move(*data));
  } else {
    return payload_error("unknown kind `" + std::string(kind) + "`");
  }
  return in;
}

}  // namespace tabrix::py
