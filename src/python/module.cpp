// Module initialisation: creates `tabrix`, its PanicException, and adds the classes and
// functions in their fixed order, appending each name to __all__.
#include "python/module.h"

#include <string_view>

#include "python/args.h"
#include "python/sheet.h"
#include "python/tables.h"

namespace tabrix::py {
namespace {

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "tabrix",
    "Python module exported as `tabrix`.",
    sizeof(ModuleState),
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// The module's contents in export order; names whose implementation is not built are skipped.
constexpr std::string_view kExportOrder[] = {
    "Sheet",
    "evaluate",
    "extract_refs",
    "formula_tokens",
    "rewrite_refs_for_deletion",
    "adjust_refs_for_deletion",
    "adjust_refs_for_insertion",
    "adjust_refs_for_column_block_move",
    "adjust_refs_for_column_block_move_data_following",
    "adjust_refs_for_row_block_move",
    "adjust_refs_for_row_block_move_data_following",
    "shift_formula_refs",
    "parse_range",
    "is_unbounded_range",
    "parse_cell_id",
    "col_to_index",
    "index_to_col",
    "cell_id",
    "list_functions",
    "signature_help",
};

PyMethodDef* const kTables[] = {kAddressFunctions, kRefsFunctions, kFormulaFunctions,
                                kEditorFunctions};

PyMethodDef* find_function(std::string_view name) {
  for (PyMethodDef* table : kTables)
    for (PyMethodDef* def = table; def->ml_name; ++def)
      if (name == def->ml_name) return def;
  return nullptr;
}

// Adds `obj` (a new reference, stolen) under `name` and appends the name to __all__.
bool export_object(PyObject* module, PyObject* all, std::string_view name, Ref obj) {
  if (!obj) return false;
  Ref key = Ref::steal(PyUnicode_FromStringAndSize(name.data(), Py_ssize_t(name.size())));
  if (!key || PyObject_SetAttr(module, key.get(), obj.get()) < 0) return false;
  return PyList_Append(all, key.get()) == 0;
}

bool init_module(PyObject* module) {
  ModuleState* state = static_cast<ModuleState*>(PyModule_GetState(module));
  state->panic_type = PyErr_NewExceptionWithDoc(
      "tabrix.PanicException",
      "An internal invariant of the engine was violated; no ordinary input reaches this.",
      PyExc_BaseException, nullptr);
  if (!state->panic_type) return false;
  if (PyModule_AddObjectRef(module, "PanicException", state->panic_type) < 0) return false;
  Ref all = Ref::steal(PyList_New(0));
  if (!all) return false;
  Ref module_name = Ref::steal(PyUnicode_FromString("tabrix"));
  if (!module_name) return false;
  for (std::string_view name : kExportOrder) {
    if (name == "Sheet") {
      if (!export_object(module, all.get(), name, Ref::steal(make_sheet_type()))) return false;
      continue;
    }
    PyMethodDef* def = find_function(name);
    if (!def) continue;
    if (!export_object(module, all.get(), name,
                       Ref::steal(PyCFunction_NewEx(def, module, module_name.get()))))
      return false;
  }
  return PyModule_AddObjectRef(module, "__all__", all.get()) == 0;
}

}  // namespace

ModuleState* module_state() {
  PyObject* module = PyState_FindModule(&module_def);
  return module ? static_cast<ModuleState*>(PyModule_GetState(module)) : nullptr;
}

PyObject* set_error(PyObject* type, std::string_view message) {
  Ref text = Ref::steal(new_str(message));
  if (text) PyErr_SetObject(type, text.get());
  return nullptr;
}

std::string take_exception_text() {
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  PyErr_NormalizeException(&type, &value, &tb);
  Ref type_ref = Ref::steal(type), value_ref = Ref::steal(value), tb_ref = Ref::steal(tb);
  auto text_of = [](PyObject* obj, const char* fallback) -> std::string {
    Ref s = Ref::steal(obj);
    Py_ssize_t size = 0;
    const char* data = s ? PyUnicode_AsUTF8AndSize(s.get(), &size) : nullptr;
    if (!data) {
      PyErr_Clear();
      return fallback;
    }
    return std::string(data, size_t(size));
  };
  std::string out =
      text_of(type ? PyObject_GetAttrString(type, "__qualname__") : nullptr, "Exception");
  out += ": ";
  out += text_of(value ? PyObject_Str(value) : nullptr, "<exception str() failed>");
  return out;
}

PyObject* raise_panic(std::string_view message) {
  ModuleState* state = module_state();
  return set_error(state ? state->panic_type : PyExc_SystemError, message);
}

PyObject* raise_value_error(std::string_view message) {
  return set_error(PyExc_ValueError, message);
}

}  // namespace tabrix::py

PyMODINIT_FUNC PyInit_tabrix() {
  using namespace tabrix::py;
  PyObject* module = PyModule_Create(&module_def);
  if (!module) return nullptr;
  if (PyState_AddModule(module, &module_def) < 0 || !init_module(module)) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}
