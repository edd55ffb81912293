#include "python/sheet.h"

#include <structmember.h>

#include <new>
#include <utility>
#include <vector>

#include "python/args.h"
#include "python/bridge.h"
#include "python/convert.h"
#include "python/module.h"
#include "python/sheet_tables.h"

namespace tabrix::py {

SharedBorrow::SharedBorrow(PyObject* self) : s_(reinterpret_cast<PySheet*>(self)) {
  if (s_->borrow < 0) {
    PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
    s_ = nullptr;
    return;
  }
  ++s_->borrow;
}

SharedBorrow::~SharedBorrow() {
  if (s_) --s_->borrow;
}

ExclusiveBorrow::ExclusiveBorrow(PyObject* self) : s_(reinterpret_cast<PySheet*>(self)) {
  if (s_->borrow != 0) {
    PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
    s_ = nullptr;
    return;
  }
  s_->borrow = -1;
}

ExclusiveBorrow::~ExclusiveBorrow() {
  if (s_) s_->borrow = 0;
}

PyObject* status_to_py(const SheetStatus& status) {
  if (status) return raise_value_error(status->display());
  Py_RETURN_NONE;
}

namespace {

using Changes = std::vector<std::pair<std::string, PyObject*>>;

// A sequence of (str, object) pairs; the objects stay borrowed from `holder`'s items.
std::optional<Changes> to_pairs(PyObject* obj, const char* name, Ref& holder) {
  holder = to_sequence(obj, name);
  if (!holder) return std::nullopt;
  Py_ssize_t n = PySequence_Fast_GET_SIZE(holder.get());
  Changes out;
  out.reserve(size_t(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* item = PySequence_Fast_GET_ITEM(holder.get(), i);
    if (!PyTuple_Check(item) || PyTuple_GET_SIZE(item) != 2) {
      raise_argument_error(name, "expected a sequence of (cell id, value) tuples");
      return std::nullopt;
    }
    auto id = to_str(PyTuple_GET_ITEM(item, 0), name);
    if (!id) return std::nullopt;
    out.emplace_back(std::string(*id), PyTuple_GET_ITEM(item, 1));
  }
  return out;
}

PyObject* set_cells(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  ExclusiveBorrow b(self);
  if (!b.ok()) return nullptr;
  PyObject* arg;
  if (!parse_args("set_cells", {"changes"}, 1, args, nargs, kw, &arg)) return nullptr;
  Ref holder;
  auto pairs = to_pairs(arg, "changes", holder);
  if (!pairs) return nullptr;
  std::vector<std::pair<std::string, std::string>> changes;
  changes.reserve(pairs->size());
  for (auto& [id, value] : *pairs) {
    auto text = to_str(value, "changes");
    if (!text) return nullptr;
    changes.emplace_back(std::move(id), std::string(*text));
  }
  return status_to_py(b.sheet().set_cells(changes));
}

// Wraps the pending exception as ValueError "cell {id}: {TypeQualName}: {text}".
PyObject* wrap_payload_error(const std::string& id) {
  return raise_value_error("cell " + id + ": " + take_exception_text());
}

PyObject* set_cells_typed(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  ExclusiveBorrow b(self);
  if (!b.ok()) return nullptr;
  PyObject* arg;
  if (!parse_args("set_cells_typed", {"changes"}, 1, args, nargs, kw, &arg)) return nullptr;
  Ref holder;
  auto pairs = to_pairs(arg, "changes", holder);
  if (!pairs) return nullptr;
  std::vector<std::pair<std::string, CellInput>> changes;
  changes.reserve(pairs->size());
  for (auto& [id, payload] : *pairs) {
    auto input = payload_to_input(payload);
    if (!input) return wrap_payload_error(id);
    if (input->raw) {
      changes.emplace_back(std::move(id), CellInput(std::move(input->text)));
    } else {
      changes.emplace_back(std::move(id), CellInput(std::move(input->value)));
    }
  }
  return status_to_py(b.sheet().set_cells_typed(std::move(changes)));
}

PyObject* get(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  SharedBorrow b(self);
  if (!b.ok()) return nullptr;
  auto id = one_str("get", "cell_id", args, nargs, kw);
  if (!id) return nullptr;
  return text_or_none(b.sheet().get(*id));
}

PyObject* get_typed(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  SharedBorrow b(self);
  if (!b.ok()) return nullptr;
  auto id = one_str("get_typed", "cell_id", args, nargs, kw);
  if (!id) return nullptr;
  return value_to_py(b.sheet().get(*id));
}

template <PyObject* (*Convert)(const CellValue&)>
PyObject* all_values(PyObject* self, const char* func, Py_ssize_t nargs, PyObject* kw) {
  SharedBorrow b(self);
  if (!b.ok() || !no_args(func, nargs, kw)) return nullptr;
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [id, value] : b.sheet().values()) {
    if (value.is_empty()) continue;
    Ref key = Ref::steal(new_str(id));
    Ref item = Ref::steal(Convert(value));
    if (!key || !item || PyDict_SetItem(dict.get(), key.get(), item.get()) < 0) return nullptr;
  }
  return dict.release();
}

PyObject* display_text(const CellValue& v) {
  return new_str(v.display());
}

PyObject* get_all(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kw) {
  return all_values<display_text>(self, "get_all", nargs, kw);
}

PyObject* get_all_typed(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kw) {
  return all_values<value_to_py>(self, "get_all_typed", nargs, kw);
}

template <PyObject* (*Convert)(const CellValue&)>
PyObject* array_rows(PyObject* self, const char* func, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kw) {
  SharedBorrow b(self);
  if (!b.ok()) return nullptr;
  auto id = one_str(func, "cell_id", args, nargs, kw);
  if (!id) return nullptr;
  const ArrayValue* array = b.sheet().spill_array(*id);
  if (!array) Py_RETURN_NONE;
  Ref rows = Ref::steal(PyList_New(Py_ssize_t(array->rows)));
  if (!rows) return nullptr;
  for (uint32_t i = 0; i < array->rows; ++i) {
    PyObject* row = PyList_New(Py_ssize_t(array->cols));
    if (!row) return nullptr;
    PyList_SET_ITEM(rows.get(), i, row);
    for (uint32_t j = 0; j < array->cols; ++j) {
      PyObject* item = Convert(array->at(i, j));
      if (!item) return nullptr;
      PyList_SET_ITEM(row, j, item);
    }
  }
  return rows.release();
}

PyObject* get_array(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return array_rows<display_text>(self, "get_array", args, nargs, kw);
}

PyObject* get_array_typed(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return array_rows<value_to_py>(self, "get_array_typed", args, nargs, kw);
}

PyObject* spill_at(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  SharedBorrow b(self);
  if (!b.ok()) return nullptr;
  auto id = one_str("spill_at", "cell_id", args, nargs, kw);
  if (!id) return nullptr;
  const SpillRegion* region = b.sheet().spill_at(*id);
  if (!region) Py_RETURN_NONE;
  return Py_BuildValue("{s:I,s:I}", "rows", region->rows, "cols", region->cols);
}

PyObject* owner_of(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  SharedBorrow b(self);
  if (!b.ok()) return nullptr;
  auto id = one_str("owner_of", "cell_id", args, nargs, kw);
  if (!id) return nullptr;
  const std::string* owner = b.sheet().owner_of(*id);
  if (!owner) Py_RETURN_NONE;
  return new_str(*owner);
}

PyObject* names(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kw) {
  SharedBorrow b(self);
  if (!b.ok() || !no_args("names", nargs, kw)) return nullptr;
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [name, definition] : b.sheet().names()) {
    Ref key = Ref::steal(new_str(name));
    Ref item = Ref::steal(new_str(definition));
    if (!key || !item || PyDict_SetItem(dict.get(), key.get(), item.get()) < 0) return nullptr;
  }
  return dict.release();
}

PyObject* get_name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  SharedBorrow b(self);
  if (!b.ok()) return nullptr;
  auto name = one_str("get_name", "name", args, nargs, kw);
  if (!name) return nullptr;
  const std::string* definition = b.sheet().get_name(*name);
  if (!definition) Py_RETURN_NONE;
  return new_str(*definition);
}

PyObject* set_name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  ExclusiveBorrow b(self);
  if (!b.ok()) return nullptr;
  PyObject* argv[2];
  if (!parse_args("set_name", {"name", "definition"}, 2, args, nargs, kw, argv)) return nullptr;
  auto name = to_str(argv[0], "name");
  if (!name) return nullptr;
  auto definition = to_str(argv[1], "definition");
  if (!definition) return nullptr;
  return status_to_py(b.sheet().set_name(*name, std::string(*definition)));
}

PyObject* remove_name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  ExclusiveBorrow b(self);
  if (!b.ok()) return nullptr;
  auto name = one_str("remove_name", "name", args, nargs, kw);
  if (!name) return nullptr;
  return status_to_py(b.sheet().remove_name(*name));
}

PyObject* pin_value(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  ExclusiveBorrow b(self);
  if (!b.ok()) return nullptr;
  PyObject* argv[2];
  if (!parse_args("pin_value", {"cell_id", "rows"}, 2, args, nargs, kw, argv)) return nullptr;
  auto id = to_str(argv[0], "cell_id");
  if (!id) return nullptr;
  Ref seq = to_sequence(argv[1], "rows");
  if (!seq) return nullptr;
  Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.get());
  std::vector<std::vector<CellValue>> rows;
  rows.reserve(size_t(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    auto texts = to_str_list(PySequence_Fast_GET_ITEM(seq.get(), i), "rows");
    if (!texts) return nullptr;
    auto& row = rows.emplace_back();
    row.reserve(texts->size());
    for (auto& t : *texts) row.push_back(CellValue::string(std::move(t)));
  }
  if (auto error = b.sheet().pin_value(std::string(*id), std::move(rows)))
    return raise_value_error(error->display());
  Py_RETURN_NONE;
}

PyObject* unpin_value(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  ExclusiveBorrow b(self);
  if (!b.ok()) return nullptr;
  auto id = one_str("unpin_value", "cell_id", args, nargs, kw);
  if (!id) return nullptr;
  b.sheet().unpin_value(*id);
  Py_RETURN_NONE;
}

PyObject* is_pinned(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  SharedBorrow b(self);
  if (!b.ok()) return nullptr;
  auto id = one_str("is_pinned", "cell_id", args, nargs, kw);
  if (!id) return nullptr;
  return PyBool_FromLong(b.sheet().is_pinned(*id));
}

PyObject* pinned_cells(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kw) {
  SharedBorrow b(self);
  if (!b.ok() || !no_args("pinned_cells", nargs, kw)) return nullptr;
  std::vector<std::string> ids = b.sheet().pinned_cells();
  Ref list = Ref::steal(PyList_New(Py_ssize_t(ids.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < ids.size(); ++i) {
    PyObject* s = new_str(ids[i]);
    if (!s) return nullptr;
    PyList_SET_ITEM(list.get(), Py_ssize_t(i), s);
  }
  return list.release();
}

PyObject* sheet_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  if (PyTuple_GET_SIZE(args) != 0 || (kwargs && PyDict_GET_SIZE(kwargs) != 0)) {
    PyErr_SetString(PyExc_TypeError, "Sheet() takes no arguments");
    return nullptr;
  }
  Ref self = Ref::steal(type->tp_alloc(type, 0));
  if (!self) return nullptr;
  PySheet* s = reinterpret_cast<PySheet*>(self.get());
  try {
    s->sheet = new Sheet();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
  return self.release();
}

void sheet_dealloc(PyObject* self) {
  PySheet* s = reinterpret_cast<PySheet*>(self);
  PyTypeObject* type = Py_TYPE(self);
  PyObject_GC_UnTrack(self);
  if (s->weakrefs) PyObject_ClearWeakRefs(self);
  delete s->sheet;
  type->tp_free(self);
  Py_DECREF(type);
}

// Python functions and handlers registered on a sheet may refer back to it; the collector
// sees those references through the registry.
int sheet_traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  PySheet* s = reinterpret_cast<PySheet*>(self);
  if (!s->sheet) return 0;
  return traverse_registry(*s->sheet->registry(), visit, arg);
}

// Breaks a reference cycle by dropping the sheet's contents and registry. The old contents
// are swapped out before they are destroyed: releasing a registered Python object may run its
// finalizer, which may reach this sheet again and must find it whole (and empty).
int sheet_clear(PyObject* self) {
  PySheet* s = reinterpret_cast<PySheet*>(self);
  if (!s->sheet || s->borrow != 0) return 0;
  try {
    Sheet old;
    std::swap(old, *s->sheet);
  } catch (const std::bad_alloc&) {
    // No memory for an empty sheet: the cycle stays, which only delays collecting it.
  }
  return 0;
}

PyMemberDef sheet_members[] = {
    {"__weaklistoffset__", T_PYSSIZET, offsetof(PySheet, weakrefs), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

}  // namespace

PyMethodDef kSheetMethods[] = {
    method<set_cells>(
        "set_cells",
        "set_cells($self, changes)\n--\n\n"
        "Write raw texts: a sequence of (cell id, text) tuples; an empty text deletes\n"
        "the cell. Recalculates; raises ValueError for a cycle (changes stay stored)."),
    method<set_cells_typed>(
        "set_cells_typed",
        "set_cells_typed($self, changes)\n--\n\n"
        "Write typed values: a sequence of (cell id, payload dict) tuples, each payload with a\n"
        "\"kind\" of raw, empty, string, number, boolean or custom. Nothing is stored when a\n"
        "payload is invalid."),
    method<get>("get",
                "get($self, cell_id)\n--\n\n"
                "The computed value's text, or None for an empty cell."),
    method<get_typed>("get_typed",
                      "get_typed($self, cell_id)\n--\n\n"
                      "The computed value as int, float, str, bool, custom value dict or None."),
    method<get_all>("get_all",
                    "get_all($self)\n--\n\n"
                    "Dict of cell id -> text for every cell with a value."),
    method<get_all_typed>("get_all_typed",
                          "get_all_typed($self)\n--\n\n"
                          "Dict of cell id -> typed value for every cell with a value."),
    method<get_array>("get_array",
                      "get_array($self, cell_id)\n--\n\n"
                      "The array spilled from an anchor as rows of texts, or None."),
    method<get_array_typed>("get_array_typed",
                            "get_array_typed($self, cell_id)\n--\n\n"
                            "The array spilled from an anchor as rows of typed values, or None."),
    method<spill_at>("spill_at",
                     "spill_at($self, cell_id)\n--\n\n"
                     "{\"rows\": int, \"cols\": int} of the spill anchored at cell_id, or None."),
    method<owner_of>("owner_of",
                     "owner_of($self, cell_id)\n--\n\n"
                     "The anchor of the spill that wrote cell_id, or None."),
    method<names>("names",
                  "names($self)\n--\n\n"
                  "Dict of upper-cased name -> definition text."),
    method<get_name>("get_name",
                     "get_name($self, name)\n--\n\n"
                     "The definition of a name (any case), or None."),
    method<set_name>("set_name",
                     "set_name($self, name, definition)\n--\n\n"
                     "Define a workbook-global name; raises ValueError for an invalid name or an\n"
                     "unparseable formula definition."),
    method<remove_name>("remove_name",
                        "remove_name($self, name)\n--\n\n"
                        "Remove a name (no error when it is not defined)."),
    method<pin_value>("pin_value",
                      "pin_value($self, cell_id, rows)\n--\n\n"
                      "Pin a rectangular array of texts at an anchor cell; it overrides the\n"
                      "cell's input and spills like an array result."),
    method<unpin_value>("unpin_value",
                        "unpin_value($self, cell_id)\n--\n\n"
                        "Remove the pin at cell_id, if any."),
    method<is_pinned>("is_pinned",
                      "is_pinned($self, cell_id)\n--\n\n"
                      "True when cell_id is a pin anchor."),
    method<pinned_cells>("pinned_cells",
                         "pinned_cells($self)\n--\n\n"
                         "The pin anchors, sorted as text."),
    {nullptr, nullptr, 0, nullptr},
};

PyObject* make_sheet_type() {
  static std::vector<PyMethodDef> methods;
  if (methods.empty()) {
    for (PyMethodDef* table : kSheetTables)
      for (PyMethodDef* def = table; def->ml_name; ++def) methods.push_back(*def);
    methods.push_back({nullptr, nullptr, 0, nullptr});
  }
  static PyType_Slot slots[] = {
      {Py_tp_doc, const_cast<char*>(
                      "Sheet()\n--\n\n"
                      "One sheet of cells with formulas, dynamic arrays, named ranges and pins.")},
      {Py_tp_new, reinterpret_cast<void*>(sheet_new)},
      {Py_tp_dealloc, reinterpret_cast<void*>(sheet_dealloc)},
      {Py_tp_traverse, reinterpret_cast<void*>(sheet_traverse)},
      {Py_tp_clear, reinterpret_cast<void*>(sheet_clear)},
      {Py_tp_methods, methods.data()},
      {Py_tp_members, sheet_members},
      {0, nullptr},
  };
  static PyType_Spec spec = {"tabrix.Sheet", sizeof(PySheet), 0,
                             Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC, slots};
  return PyType_FromSpec(&spec);
}

}  // namespace tabrix::py
