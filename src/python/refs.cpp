// The module-level reference functions: `extract_refs` and the rewriters for copy/paste,
// row/column insertion and deletion, and block moves. Each converts its arguments, calls one
// engine operation and converts the result; none raises for a str formula.
#include "core/refs.h"
#include "python/args.h"
#include "python/module.h"
#include "python/tables.h"

namespace tabrix::py {
namespace {

// An optional list parameter: None or omitted means no entries.
bool to_index_list(PyObject* obj, const char* name, std::vector<uint32_t>& out) {
  if (!obj || obj == Py_None) return true;
  auto list = to_u32_list(obj, name);
  if (!list) return false;
  out = std::move(*list);
  return true;
}

// ---- extract_refs ----

// The dict keys and kind texts, made once per call.
struct RefDictKeys {
  Ref start, end, text, kind, cells;
  Ref kinds[6];

  bool init() {
    start = Ref::steal(PyUnicode_InternFromString("start"));
    end = Ref::steal(PyUnicode_InternFromString("end"));
    text = Ref::steal(PyUnicode_InternFromString("text"));
    kind = Ref::steal(PyUnicode_InternFromString("kind"));
    cells = Ref::steal(PyUnicode_InternFromString("cells"));
    if (!start || !end || !text || !kind || !cells) return false;
    for (int k = 0; k < 6; ++k) {
      kinds[k] = Ref::steal(new_str(formula_ref_kind_text(FormulaRefKind(k))));
      if (!kinds[k]) return false;
    }
    return true;
  }
};

bool set_item(PyObject* dict, const Ref& key, Ref value) {
  return value && PyDict_SetItem(dict, key.get(), value.get()) == 0;
}

Ref cells_to_py(const std::vector<CellCoord>& cells) {
  Ref list = Ref::steal(PyList_New(Py_ssize_t(cells.size())));
  if (!list) return list;
  for (size_t i = 0; i < cells.size(); ++i) {
    PyObject* id = new_str(range::format_cell_id(cells[i].row, cells[i].col));
    if (!id) return Ref();
    PyList_SET_ITEM(list.get(), Py_ssize_t(i), id);  // steals
  }
  return list;
}

Ref ref_to_py(const FormulaRef& ref, const RefDictKeys& keys) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return dict;
  PyObject* d = dict.get();
  if (!set_item(d, keys.start, Ref::steal(PyLong_FromSize_t(ref.start))) ||
      !set_item(d, keys.end, Ref::steal(PyLong_FromSize_t(ref.end))) ||
      !set_item(d, keys.text, Ref::steal(new_text(ref.text))) ||
      !set_item(d, keys.kind, keys.kinds[size_t(ref.kind)]) ||
      !set_item(d, keys.cells, cells_to_py(ref.cells)))
    return Ref();
  return dict;
}

PyObject* extract_refs_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  PyObject* arg;
  if (!parse_args("extract_refs", {"formula"}, 1, args, nargs, kw, &arg)) return nullptr;
  auto formula = to_formula(arg);
  if (!formula) return nullptr;
  std::vector<FormulaRef> found = refs::extract_refs(formula->text);
  RefDictKeys keys;
  if (!keys.init()) return nullptr;
  Ref list = Ref::steal(PyList_New(Py_ssize_t(found.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < found.size(); ++i) {
    Ref item = ref_to_py(found[i], keys);
    if (!item) return nullptr;
    PyList_SET_ITEM(list.get(), Py_ssize_t(i), item.release());
  }
  return list.release();
}

// ---- Insertion and deletion ----

using DeletionRewriter = std::string (*)(std::string_view, const Deletion&);

// (formula, {cols_name}=None, {rows_name}=None) -> str
template <DeletionRewriter Rewrite>
PyObject* deletion_call(const char* func, const char* cols_name, const char* rows_name,
                        PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  PyObject* argv[3];
  if (!parse_args(func, {"formula", cols_name, rows_name}, 1, args, nargs, kw, argv))
    return nullptr;
  auto formula = to_formula(argv[0]);
  if (!formula) return nullptr;
  Deletion d;
  if (!to_index_list(argv[1], cols_name, d.cols) || !to_index_list(argv[2], rows_name, d.rows))
    return nullptr;
  return new_text(Rewrite(formula->text, d));
}

PyObject* rewrite_refs_for_deletion_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                         PyObject* kw) {
  return deletion_call<refs::rewrite_refs_for_deletion>("rewrite_refs_for_deletion", "deleted_cols",
                                                        "deleted_rows", args, nargs, kw);
}

PyObject* adjust_refs_for_deletion_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kw) {
  return deletion_call<refs::adjust_refs_for_deletion>("adjust_refs_for_deletion", "deleted_cols",
                                                       "deleted_rows", args, nargs, kw);
}

PyObject* adjust_refs_for_insertion_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                         PyObject* kw) {
  return deletion_call<refs::adjust_refs_for_insertion>(
      "adjust_refs_for_insertion", "inserted_cols", "inserted_rows", args, nargs, kw);
}

// ---- Block moves ----

using MoveRewriter = std::string (*)(std::string_view, uint32_t, uint32_t, uint32_t);

// (formula, src_start, src_end, final_start) -> str
template <MoveRewriter Rewrite>
PyObject* move_call(const char* func, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  PyObject* argv[4];
  if (!parse_args(func, {"formula", "src_start", "src_end", "final_start"}, 4, args, nargs, kw,
                  argv))
    return nullptr;
  auto formula = to_formula(argv[0]);
  if (!formula) return nullptr;
  auto src_start = to_u32(argv[1], "src_start");
  if (!src_start) return nullptr;
  auto src_end = to_u32(argv[2], "src_end");
  if (!src_end) return nullptr;
  auto final_start = to_u32(argv[3], "final_start");
  if (!final_start) return nullptr;
  return new_text(Rewrite(formula->text, *src_start, *src_end, *final_start));
}

PyObject* column_move_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return move_call<refs::adjust_refs_for_column_block_move>("adjust_refs_for_column_block_move",
                                                            args, nargs, kw);
}

PyObject* column_move_data_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return move_call<refs::adjust_refs_for_column_block_move_data_following>(
      "adjust_refs_for_column_block_move_data_following", args, nargs, kw);
}

PyObject* row_move_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return move_call<refs::adjust_refs_for_row_block_move>("adjust_refs_for_row_block_move", args,
                                                         nargs, kw);
}

PyObject* row_move_data_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return move_call<refs::adjust_refs_for_row_block_move_data_following>(
      "adjust_refs_for_row_block_move_data_following", args, nargs, kw);
}

// ---- Copy/paste ----

PyObject* shift_formula_refs_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kw) {
  PyObject* argv[5];
  if (!parse_args("shift_formula_refs", {"formula", "d_row", "d_col", "max_row", "max_col"}, 5,
                  args, nargs, kw, argv))
    return nullptr;
  auto formula = to_formula(argv[0]);
  if (!formula) return nullptr;
  auto d_row = to_i32(argv[1], "d_row");
  if (!d_row) return nullptr;
  auto d_col = to_i32(argv[2], "d_col");
  if (!d_col) return nullptr;
  auto max_row = to_u32(argv[3], "max_row");
  if (!max_row) return nullptr;
  auto max_col = to_u32(argv[4], "max_col");
  if (!max_col) return nullptr;
  return new_text(refs::shift_formula_refs(formula->text, *d_row, *d_col, *max_row, *max_col));
}

#define TABRIX_MOVE_DOC(name, what)                                   \
  name "(formula, src_start, src_end, final_start)\n--\n\n"           \
       "Rewrite the references of a formula after the block of " what \
       " src_start..src_end\n"                                        \
       "(0-based, inclusive) moved so that its first one lands at final_start."

}  // namespace

PyMethodDef kRefsFunctions[] = {
    method<extract_refs_impl>(
        "extract_refs",
        "extract_refs(formula)\n--\n\n"
        "The references of a formula, in source order, as dicts with \"start\", \"end\"\n"
        "(character offsets, \"=\" being 0), \"text\", \"kind\" (\"cell\", \"range\",\n"
        "\"whole_column\", \"whole_row\", \"name\", \"spill\") and \"cells\" (cell ids)."),
    method<rewrite_refs_for_deletion_impl>(
        "rewrite_refs_for_deletion",
        "rewrite_refs_for_deletion(formula, deleted_cols=None, deleted_rows=None)\n--\n\n"
        "Replace the parts of references that point into deleted columns or rows (0-based)\n"
        "with \"#REF!\"; nothing moves."),
    method<adjust_refs_for_deletion_impl>(
        "adjust_refs_for_deletion",
        "adjust_refs_for_deletion(formula, deleted_cols=None, deleted_rows=None)\n--\n\n"
        "Rewrite references for deleted columns and rows (0-based): shift them, trim ranges,\n"
        "and turn references with no surviving cell into \"#REF!\"."),
    method<adjust_refs_for_insertion_impl>(
        "adjust_refs_for_insertion",
        "adjust_refs_for_insertion(formula, inserted_cols=None, inserted_rows=None)\n--\n\n"
        "Rewrite references for columns and rows inserted before the given 0-based indices\n"
        "(an index listed twice inserts two)."),
    method<column_move_impl>("adjust_refs_for_column_block_move",
                             TABRIX_MOVE_DOC("adjust_refs_for_column_block_move", "columns")),
    method<column_move_data_impl>(
        "adjust_refs_for_column_block_move_data_following",
        TABRIX_MOVE_DOC(
            "adjust_refs_for_column_block_move_data_following",
            "columns") "\nBounded ranges follow their data too (for named-range definitions)."),
    method<row_move_impl>("adjust_refs_for_row_block_move",
                          TABRIX_MOVE_DOC("adjust_refs_for_row_block_move", "rows")),
    method<row_move_data_impl>(
        "adjust_refs_for_row_block_move_data_following",
        TABRIX_MOVE_DOC(
            "adjust_refs_for_row_block_move_data_following",
            "rows") "\nBounded ranges follow their data too (for named-range definitions)."),
    method<shift_formula_refs_impl>(
        "shift_formula_refs",
        "shift_formula_refs(formula, d_row, d_col, max_row, max_col)\n--\n\n"
        "Rewrite a formula for copy/paste: relative references move by d_row and d_col,\n"
        "absolute ones stay, and a reference leaving 1..max_row or 1..max_col becomes\n"
        "\"#REF!\"."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace tabrix::py
