// Editor assistance from Python: the module-level `formula_tokens`, `list_functions` and
// `signature_help`, and the Sheet methods `list_functions`, `signature_help` and `complete`,
// which answer with the sheet's own registry and named ranges. None of them raises for a str
// formula and a non-negative cursor; a negative cursor raises OverflowError.
#include <iterator>
#include <string_view>
#include <vector>

#include "core/catalog.h"
#include "core/complete.h"
#include "core/token_spans.h"
#include "python/args.h"
#include "python/module.h"
#include "python/sheet.h"
#include "python/tables.h"

namespace tabrix::py {
namespace {

// ---- Arguments ----

struct FormulaAndCursor {
  FormulaArg formula;
  size_t cursor;
};

// (formula, cursor): a str and a non-negative int.
std::optional<FormulaAndCursor> formula_and_cursor(const char* func, PyObject* const* args,
                                                   Py_ssize_t nargs, PyObject* kw) {
  PyObject* argv[2];
  if (!parse_args(func, {"formula", "cursor"}, 2, args, nargs, kw, argv)) return std::nullopt;
  auto formula = to_formula(argv[0]);
  if (!formula) return std::nullopt;
  auto cursor = to_size(argv[1], "cursor");
  if (!cursor) return std::nullopt;
  return FormulaAndCursor{std::move(*formula), size_t(*cursor)};
}

// ---- Results ----

Ref text_to_py(std::string_view s) {
  return Ref::steal(new_text(s));
}

Ref size_to_py(size_t n) {
  return Ref::steal(PyLong_FromSize_t(n));
}

Ref optional_text_to_py(const std::optional<std::string>& s) {
  return s ? text_to_py(*s) : Ref::borrow(Py_None);
}

// Sets dict[key] = value; false when value is null (its exception pending) or on failure.
bool set_item(PyObject* dict, const char* key, const Ref& value) {
  return value && PyDict_SetItemString(dict, key, value.get()) == 0;
}

// A list of the converted items; null when one conversion fails.
template <class T, class Convert>
Ref list_to_py(const std::vector<T>& items, Convert convert) {
  Ref list = Ref::steal(PyList_New(Py_ssize_t(items.size())));
  if (!list) return list;
  for (size_t i = 0; i < items.size(); ++i) {
    Ref item = convert(items[i]);
    if (!item) return Ref();
    PyList_SET_ITEM(list.get(), Py_ssize_t(i), item.release());  // steals
  }
  return list;
}

Ref param_to_py(const ParamInfo& p) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return dict;
  if (!set_item(dict.get(), "name", text_to_py(p.name)) ||
      !set_item(dict.get(), "optional", Ref::borrow(p.optional ? Py_True : Py_False)) ||
      !set_item(dict.get(), "description", text_to_py(p.description)))
    return Ref();
  return dict;
}

Ref example_to_py(const ExampleInfo& e) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return dict;
  if (!set_item(dict.get(), "formula", text_to_py(e.formula)) ||
      !set_item(dict.get(), "result", text_to_py(e.result)))
    return Ref();
  return dict;
}

Ref function_info_to_py(const FunctionInfo& f) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return dict;
  PyObject* d = dict.get();
  if (!set_item(d, "name", text_to_py(f.name)) ||
      !set_item(d, "aliases", list_to_py(f.aliases, text_to_py)) ||
      !set_item(d, "category", text_to_py(f.category)) ||
      !set_item(d, "params", list_to_py(f.params, param_to_py)) ||
      !set_item(d, "variadic", f.variadic ? param_to_py(*f.variadic) : Ref::borrow(Py_None)) ||
      !set_item(d, "description", text_to_py(f.description)) ||
      !set_item(d, "examples", list_to_py(f.examples, example_to_py)))
    return Ref();
  return dict;
}

PyObject* functions_to_py(const std::vector<FunctionInfo>& functions) {
  return list_to_py(functions, function_info_to_py).release();
}

// {"function": ..., "active_param": int}, or None.
PyObject* signature_help_to_py(const std::optional<SignatureHelp>& help) {
  if (!help) Py_RETURN_NONE;
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return nullptr;
  if (!set_item(dict.get(), "function", function_info_to_py(help->function)) ||
      !set_item(dict.get(), "active_param", size_to_py(help->active_param)))
    return nullptr;
  return dict.release();
}

Ref completion_item_to_py(const CompletionItem& item) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return dict;
  PyObject* d = dict.get();
  if (!set_item(d, "kind", text_to_py(completion_kind_text(item.kind))) ||
      !set_item(d, "label", text_to_py(item.label)) ||
      !set_item(d, "insert", text_to_py(item.insert)) ||
      !set_item(d, "detail", optional_text_to_py(item.detail)) ||
      !set_item(d, "documentation", optional_text_to_py(item.documentation)))
    return Ref();
  return dict;
}

PyObject* completion_to_py(const CompletionList& list) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return nullptr;
  PyObject* d = dict.get();
  if (!set_item(d, "replace_start", size_to_py(list.replace_start)) ||
      !set_item(d, "replace_end", size_to_py(list.replace_end)) ||
      !set_item(d, "items", list_to_py(list.items, completion_item_to_py)))
    return nullptr;
  return dict.release();
}

// The kind texts as str objects, made once per call and shared by every span dict.
Ref span_to_py(const TokenSpan& span, const Ref (&kinds)[size_t(TokenSpanKind::Unknown) + 1]) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return dict;
  if (!set_item(dict.get(), "start", size_to_py(span.start)) ||
      !set_item(dict.get(), "end", size_to_py(span.end)) ||
      !set_item(dict.get(), "kind", kinds[size_t(span.kind)]))
    return Ref();
  return dict;
}

// ---- Module functions ----

PyObject* formula_tokens_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  PyObject* arg;
  if (!parse_args("formula_tokens", {"formula"}, 1, args, nargs, kw, &arg)) return nullptr;
  auto formula = to_formula(arg);
  if (!formula) return nullptr;
  const std::vector<TokenSpan> spans = formula_tokens(formula->text);
  Ref kinds[size_t(TokenSpanKind::Unknown) + 1];
  for (size_t k = 0; k < std::size(kinds); ++k) {
    kinds[k] = text_to_py(token_span_kind_text(TokenSpanKind(k)));
    if (!kinds[k]) return nullptr;
  }
  return list_to_py(spans, [&](const TokenSpan& s) { return span_to_py(s, kinds); }).release();
}

PyObject* list_functions_impl(PyObject*, PyObject* const*, Py_ssize_t nargs, PyObject* kw) {
  if (!no_args("list_functions", nargs, kw)) return nullptr;
  return functions_to_py(list_functions());
}

PyObject* signature_help_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  auto a = formula_and_cursor("signature_help", args, nargs, kw);
  if (!a) return nullptr;
  return signature_help_to_py(signature_help(a->formula.text, a->cursor));
}

// ---- Sheet methods ----

PyObject* sheet_list_functions(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kw) {
  SharedBorrow b(self);
  if (!b.ok() || !no_args("list_functions", nargs, kw)) return nullptr;
  return functions_to_py(b.sheet().list_functions());
}

PyObject* sheet_signature_help(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kw) {
  SharedBorrow b(self);
  if (!b.ok()) return nullptr;
  auto a = formula_and_cursor("signature_help", args, nargs, kw);
  if (!a) return nullptr;
  return signature_help_to_py(b.sheet().signature_help(a->formula.text, a->cursor));
}

PyObject* sheet_complete(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  SharedBorrow b(self);
  if (!b.ok()) return nullptr;
  auto a = formula_and_cursor("complete", args, nargs, kw);
  if (!a) return nullptr;
  return completion_to_py(b.sheet().complete(a->formula.text, a->cursor));
}

}  // namespace

PyMethodDef kEditorFunctions[] = {
    method<formula_tokens_impl>(
        "formula_tokens",
        "formula_tokens(formula)\n--\n\n"
        "Classify every character after the leading \"=\" for syntax highlighting: a list of\n"
        "{\"start\", \"end\", \"kind\"} dicts in source order, covering the text without gaps.\n"
        "Offsets count characters, \"=\" being 0. Kinds: \"number\", \"string\", \"boolean\",\n"
        "\"cell_ref\", \"range\", \"name\", \"function\", \"operator\", \"paren\", \"comma\",\n"
        "\"whitespace\", \"unknown\" (from a lexical error to the end)."),
    method<list_functions_impl>(
        "list_functions",
        "list_functions()\n--\n\n"
        "The built-in functions in catalog order, as dicts with \"name\", \"aliases\",\n"
        "\"category\", \"params\", \"variadic\", \"description\" and \"examples\"."),
    method<signature_help_impl>(
        "signature_help",
        "signature_help(formula, cursor)\n--\n\n"
        "The built-in function whose call holds the cursor (a character offset, \"=\" being 0)\n"
        "and the index of the argument being typed: {\"function\": ..., \"active_param\": int},\n"
        "or None."),
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef kSheetEditorMethods[] = {
    method<sheet_list_functions>(
        "list_functions",
        "list_functions($self)\n--\n\n"
        "The built-in functions in catalog order, then this sheet's custom functions."),
    method<sheet_signature_help>(
        "signature_help",
        "signature_help($self, formula, cursor)\n--\n\n"
        "As the module-level signature_help, also finding this sheet's custom functions."),
    method<sheet_complete>(
        "complete",
        "complete($self, formula, cursor)\n--\n\n"
        "Completions at the cursor (a character offset, \"=\" being 0): built-in functions and\n"
        "this sheet's named ranges starting with the word being typed, as\n"
        "{\"replace_start\": int, \"replace_end\": int, \"items\": [...]}, each item a dict with\n"
        "\"kind\" (\"function\" or \"name\"), \"label\", \"insert\", \"detail\" and "
        "\"documentation\"."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace tabrix::py
