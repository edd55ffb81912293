// The six module-level address functions over the A1 helpers.
#include "core/a1.h"
#include "python/args.h"
#include "python/module.h"
#include "python/tables.h"

namespace tabrix::py {
namespace {

PyObject* coord_to_py(const CellCoord& c) {
  return Py_BuildValue("{s:I,s:I}", "row", c.row, "col", c.col);
}

PyObject* range_to_py(const ParsedRange& r) {
  Ref start = Ref::steal(coord_to_py(r.start));
  if (!start) return nullptr;
  Ref end_row = r.end_row ? Ref::steal(PyLong_FromUnsignedLong(*r.end_row)) : Ref::borrow(Py_None);
  Ref normalized = Ref::steal(new_str(r.normalized));
  if (!end_row || !normalized) return nullptr;
  return Py_BuildValue("{s:O,s:I,s:O,s:O,s:O}", "start", start.get(), "end_col", r.end_col,
                       "end_row", end_row.get(), "unbounded", r.unbounded() ? Py_True : Py_False,
                       "normalized", normalized.get());
}

PyObject* parse_range_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  auto text = one_str("parse_range", "input", args, nargs, kw);
  if (!text) return nullptr;
  auto r = range::parse_range(*text);
  if (!r) return raise_value_error(r.error().display());
  return range_to_py(*r);
}

PyObject* is_unbounded_range_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kw) {
  auto text = one_str("is_unbounded_range", "input", args, nargs, kw);
  if (!text) return nullptr;
  return PyBool_FromLong(range::is_unbounded_range(*text));
}

PyObject* parse_cell_id_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  auto text = one_str("parse_cell_id", "input", args, nargs, kw);
  if (!text) return nullptr;
  auto r = range::parse_cell_id(*text);
  if (!r) return raise_value_error(r.error().display());
  return coord_to_py(*r);
}

PyObject* col_to_index_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  auto text = one_str("col_to_index", "letters", args, nargs, kw);
  if (!text) return nullptr;
  auto r = range::col_to_index(*text);
  if (!r) return raise_value_error(r.error().display());
  return PyLong_FromUnsignedLong(*r);
}

PyObject* index_to_col_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  PyObject* arg;
  if (!parse_args("index_to_col", {"index"}, 1, args, nargs, kw, &arg)) return nullptr;
  auto index = to_u32(arg, "index");
  if (!index) return nullptr;
  return new_str(range::index_to_col(*index));
}

PyObject* cell_id_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  PyObject* argv[2];
  if (!parse_args("cell_id", {"row", "col"}, 2, args, nargs, kw, argv)) return nullptr;
  auto row = to_u32(argv[0], "row");
  if (!row) return nullptr;
  auto col = to_u32(argv[1], "col");
  if (!col) return nullptr;
  return new_str(range::cell_id(*row, *col));
}

}  // namespace

PyMethodDef kAddressFunctions[] = {
    method<parse_range_impl>(
        "parse_range",
        "parse_range(input)\n--\n\n"
        "Parse an A1 range such as \"A1:C10\", \"A:C\" or \"A5:C\" into a dict with \"start\",\n"
        "\"end_col\", \"end_row\" (None when unbounded), \"unbounded\" and \"normalized\".\n"
        "Raises ValueError for text that is not a range."),
    method<is_unbounded_range_impl>(
        "is_unbounded_range",
        "is_unbounded_range(input)\n--\n\n"
        "True when the text is a range without an end row (\"A:C\", \"A5:C\")."),
    method<parse_cell_id_impl>(
        "parse_cell_id",
        "parse_cell_id(input)\n--\n\n"
        "Parse a cell id such as \"B12\" into {\"row\": 11, \"col\": 1} (0-based).\n"
        "Raises ValueError for text that is not a cell id."),
    method<col_to_index_impl>(
        "col_to_index",
        "col_to_index(letters)\n--\n\n"
        "Column letters to a 0-based index: \"A\" is 0, \"AA\" is 26. Raises ValueError."),
    method<index_to_col_impl>("index_to_col",
                              "index_to_col(index)\n--\n\n"
                              "A 0-based column index to letters: 0 is \"A\", 26 is \"AA\"."),
    method<cell_id_impl>("cell_id",
                         "cell_id(row, col)\n--\n\n"
                         "The A1 id of a 0-based (row, col): cell_id(11, 1) is \"B12\"."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace tabrix::py
