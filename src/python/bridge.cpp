#include "python/bridge.h"

#include <array>
#include <span>

#include "python/args.h"
#include "python/convert.h"
#include "python/module.h"
#include "python/sheet.h"

namespace tabrix::py {
namespace {

// Holds the interpreter lock for one adapter operation. Adapters are called from inside a
// Sheet method, which holds it already; only a caller without it (PyGILState_Check is 0)
// takes it here. Checking first also keeps PyGILState_Ensure, which knows only the main
// interpreter, out of calls made in a subinterpreter (where the check always passes).
class WithGil {
 public:
  WithGil() : taken_(!PyGILState_Check()) {
    if (taken_) state_ = PyGILState_Ensure();
  }
  ~WithGil() {
    if (taken_) PyGILState_Release(state_);
  }
  WithGil(const WithGil&) = delete;
  WithGil& operator=(const WithGil&) = delete;

 private:
  bool taken_;
  PyGILState_STATE state_{};
};

// Drops an adapter's references when the last registry holding it goes, taking the lock when
// the dropping thread lacks it. After interpreter shutdown the objects are gone already and
// the references are abandoned.
void release_all(std::span<Ref> refs) {
  if (!Py_IsInitialized()) {
    for (Ref& r : refs) r.release();
    return;
  }
  WithGil gil;
  for (Ref& r : refs) r = Ref();
}

// The typed mapping of each value, as a new list; null with an exception pending.
Ref list_of(const std::vector<CellValue>& values) {
  Ref list = Ref::steal(PyList_New(Py_ssize_t(values.size())));
  if (!list) return list;
  for (size_t i = 0; i < values.size(); ++i) {
    PyObject* item = value_to_py(values[i]);
    if (!item) return Ref();
    PyList_SET_ITEM(list.get(), Py_ssize_t(i), item);
  }
  return list;
}

// Python-to-value conversion of a callback's result; a failure becomes its error text.
Result<CellValue, std::string> result_value(PyObject* obj) {
  auto value = py_to_value(obj);
  if (!value) return fail(take_exception_text());
  return std::move(*value);
}

class PyFunc final : public CustomFunction, public PyOwner {
 public:
  PyFunc(std::string name, PyObject* func) : name_(std::move(name)), func_(Ref::borrow(func)) {}
  ~PyFunc() override { release_all({&func_, 1}); }

  std::string name() const override { return name_; }

  Result<CellValue, std::string> call(const std::vector<CellValue>& args) const override {
    WithGil gil;
    Ref list = list_of(args);
    if (!list) return fail(take_exception_text());
    Ref result = Ref::steal(PyObject_CallOneArg(func_.get(), list.get()));
    if (!result) return fail(take_exception_text());
    return result_value(result.get());
  }

  int traverse(visitproc visit, void* arg) const override {
    Py_VISIT(func_.get());
    return 0;
  }

 private:
  std::string name_;
  Ref func_;
};

// The handler attributes in the order they are looked up at registration.
enum Attr {
  kParseLiteral,
  kParseWith,
  kDisplay,
  kEditRepr,
  kBinaryOp,
  kCompare,
  kAsNumber,
  kAttrs
};
constexpr std::array<const char*, kAttrs> kAttrNames = {
    "parse_literal", "parse_with", "display", "edit_repr", "binary_op", "compare", "as_number"};

class PyHandler final : public CustomTypeHandler, public PyOwner {
 public:
  PyHandler(std::string tag, std::array<Ref, kAttrs> attrs)
      : tag_(std::move(tag)), attrs_(std::move(attrs)) {}
  ~PyHandler() override { release_all(attrs_); }

  std::string type_tag() const override { return tag_; }

  std::optional<CustomValue> parse_literal(std::string_view text) const override {
    return parse(kParseLiteral, text, nullptr);
  }

  std::optional<CustomValue> parse_with(std::string_view text,
                                        std::string_view options) const override {
    if (!attrs_[kParseWith]) return parse_literal(text);
    WithGil gil;
    Ref opts = Ref::steal(new_str(options));
    if (!opts) {
      PyErr_Clear();
      return std::nullopt;
    }
    return parse(kParseWith, text, opts.get());
  }

  std::string display(const CellValue& value) const override { return shown(kDisplay, value); }
  std::string edit_repr(const CellValue& value) const override { return shown(kEditRepr, value); }

  BinaryOpAnswer binary_op(BinaryOperator op, const CellValue& left,
                           const CellValue& right) const override {
    WithGil gil;
    Ref result;
    if (!call_operator(kBinaryOp, operator_text(op), left, right, result)) return std::nullopt;
    if (!result) return fail(take_exception_text());
    if (result.get() == Py_None) return std::nullopt;
    return result_value(result.get());
  }

  CompareAnswer compare(ComparisonOperator op, const CellValue& left,
                        const CellValue& right) const override {
    WithGil gil;
    Ref result;
    if (!call_operator(kCompare, operator_text(op), left, right, result)) return std::nullopt;
    if (!result) return fail(take_exception_text());
    if (result.get() == Py_None) return std::nullopt;
    Result<bool, std::string> answer(result.get() == Py_True);
    if (!PyBool_Check(result.get())) {
      std::string text = "TypeError: '";
      text += Py_TYPE(result.get())->tp_name;
      text += "' object is not an instance of 'bool'";
      answer = fail(std::move(text));
    }
    return answer;
  }

  std::optional<double> as_number(const CellValue& value) const override {
    WithGil gil;
    Ref result = call_with_value(kAsNumber, value);
    if (!result || result.get() == Py_None) return std::nullopt;
    double x = PyFloat_AsDouble(result.get());
    if (x == -1.0 && PyErr_Occurred()) {
      PyErr_Clear();
      return std::nullopt;
    }
    return x;
  }

  int traverse(visitproc visit, void* arg) const override {
    for (const Ref& attr : attrs_) Py_VISIT(attr.get());
    return 0;
  }

 private:
  // The parse rule: a dict with a str "data" gives a value of this handler's own tag; any
  // failure or other answer is no answer.
  std::optional<CustomValue> parse(Attr attr, std::string_view text, PyObject* options) const {
    if (!attrs_[attr]) return std::nullopt;
    WithGil gil;
    Ref raw = Ref::steal(new_str(text));
    Ref result = raw ? Ref::steal(options ? PyObject_CallFunctionObjArgs(
                                                attrs_[attr].get(), raw.get(), options, nullptr)
                                          : PyObject_CallOneArg(attrs_[attr].get(), raw.get()))
                     : Ref();
    if (!result) {
      PyErr_Clear();
      return std::nullopt;
    }
    if (!PyDict_Check(result.get())) return std::nullopt;
    PyObject* data = PyDict_GetItemString(result.get(), "data");
    if (!data || !PyUnicode_Check(data)) return std::nullopt;
    Py_ssize_t size = 0;
    const char* bytes = PyUnicode_AsUTF8AndSize(data, &size);
    if (!bytes) {
      PyErr_Clear();
      return std::nullopt;
    }
    return CustomValue{tag_, std::string(bytes, size_t(size))};
  }

  // Calls a one-argument operation with the custom value dict; null (nothing pending) when
  // the attribute is absent or the call fails.
  Ref call_with_value(Attr attr, const CellValue& value) const {
    if (!attrs_[attr] || !value.is_custom()) return Ref();
    Ref dict = Ref::steal(custom_to_py(value.as_custom()));
    Ref result = dict ? Ref::steal(PyObject_CallOneArg(attrs_[attr].get(), dict.get())) : Ref();
    if (!result) PyErr_Clear();
    return result;
  }

  // display / edit_repr: the returned str, else the value's data text.
  std::string shown(Attr attr, const CellValue& value) const {
    WithGil gil;
    Ref result = call_with_value(attr, value);
    if (result && PyUnicode_Check(result.get())) {
      Py_ssize_t size = 0;
      if (const char* bytes = PyUnicode_AsUTF8AndSize(result.get(), &size))
        return std::string(bytes, size_t(size));
      PyErr_Clear();
    }
    return value.is_custom() ? value.as_custom().data : value.display();
  }

  // Calls binary_op / compare with the operator text and both operands. Returns false for no
  // answer (absent attribute, unconvertible operands); otherwise `result` is the call's result,
  // or null with the call's exception pending.
  bool call_operator(Attr attr, std::string_view op, const CellValue& left, const CellValue& right,
                     Ref& result) const {
    if (!attrs_[attr]) return false;
    Ref op_text = Ref::steal(new_str(op));
    Ref lhs = Ref::steal(value_to_py(left));
    Ref rhs = Ref::steal(value_to_py(right));
    if (!op_text || !lhs || !rhs) {
      PyErr_Clear();
      return false;
    }
    result = Ref::steal(PyObject_CallFunctionObjArgs(attrs_[attr].get(), op_text.get(), lhs.get(),
                                                     rhs.get(), nullptr));
    return true;
  }

  std::string tag_;
  std::array<Ref, kAttrs> attrs_;
};

PyObject* register_type(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  ExclusiveBorrow b(self);
  if (!b.ok()) return nullptr;
  PyObject* handler;
  if (!parse_args("register_type", {"handler"}, 1, args, nargs, kw, &handler)) return nullptr;
  Ref tag_obj = Ref::steal(PyObject_GetAttrString(handler, "type_tag"));
  if (!tag_obj) {
    PyErr_Clear();
    return raise_value_error("handler: missing `type_tag`");
  }
  if (!PyUnicode_Check(tag_obj.get())) return raise_value_error("handler: `type_tag` must be str");
  Py_ssize_t size = 0;
  const char* tag = PyUnicode_AsUTF8AndSize(tag_obj.get(), &size);
  if (!tag) return nullptr;
  if (size == 0) return raise_value_error("handler: `type_tag` must be non-empty");
  std::array<Ref, kAttrs> attrs;
  for (size_t i = 0; i < kAttrs; ++i) {
    attrs[i] = Ref::steal(PyObject_GetAttrString(handler, kAttrNames[i]));
    if (!attrs[i]) PyErr_Clear();
  }
  auto adapter = std::make_shared<PyHandler>(std::string(tag, size_t(size)), std::move(attrs));
  auto status = b.sheet().register_type(std::move(adapter));
  if (!status) return raise_value_error(status.error().display());
  Py_RETURN_NONE;
}

PyObject* register_function(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  ExclusiveBorrow b(self);
  if (!b.ok()) return nullptr;
  PyObject* argv[2];
  if (!parse_args("register_function", {"name", "func"}, 2, args, nargs, kw, argv)) return nullptr;
  auto name = to_str(argv[0], "name");
  if (!name) return nullptr;
  if (name->empty()) return raise_value_error("register_function: name must be non-empty");
  auto status = b.sheet().register_function(std::make_shared<PyFunc>(std::string(*name), argv[1]));
  if (!status) return raise_value_error(status.error().display());
  Py_RETURN_NONE;
}

PyObject* try_parse(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  SharedBorrow b(self);
  if (!b.ok()) return nullptr;
  PyObject* argv[3];
  if (!parse_args("try_parse", {"type_tag", "raw", "options"}, 3, args, nargs, kw, argv))
    return nullptr;
  auto tag = to_str(argv[0], "type_tag");
  if (!tag) return nullptr;
  auto raw = to_str(argv[1], "raw");
  if (!raw) return nullptr;
  auto options = to_str(argv[2], "options");
  if (!options) return nullptr;
  auto value = b.sheet().try_parse(*tag, *raw, *options);
  if (PyErr_Occurred()) PyErr_Clear();
  if (!value) Py_RETURN_NONE;
  return custom_to_py(*value);
}

}  // namespace

int traverse_registry(const Registry& registry, visitproc visit, void* arg) {
  for (const auto& t : registry.types())
    if (auto* owner = dynamic_cast<const PyOwner*>(t.get()))
      if (int r = owner->traverse(visit, arg)) return r;
  for (const auto& f : registry.functions())
    if (auto* owner = dynamic_cast<const PyOwner*>(f.get()))
      if (int r = owner->traverse(visit, arg)) return r;
  return 0;
}

PyMethodDef kSheetBridgeMethods[] = {
    method<register_type>(
        "register_type",
        "register_type($self, handler)\n--\n\n"
        "Register a custom value type: an object with a non-empty str `type_tag` and optional\n"
        "parse_literal, parse_with, display, edit_repr, binary_op, compare and as_number.\n"
        "Does not recalculate."),
    method<register_function>(
        "register_function",
        "register_function($self, name, func)\n--\n\n"
        "Register a custom formula function; func is called with the list of argument values.\n"
        "Does not recalculate."),
    method<try_parse>("try_parse",
                      "try_parse($self, type_tag, raw, options)\n--\n\n"
                      "Parse raw text with the handler of type_tag; a custom value dict or None."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace tabrix::py
