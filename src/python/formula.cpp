// The module-level one-shot evaluation `evaluate(formula)`: a fresh evaluator per call with
// an empty registry, every cell empty, no spill resolver and whole-column and whole-row
// ranges reaching row 1000 and column Z.
#include <memory>

#include "core/evaluator.h"
#include "python/args.h"
#include "python/convert.h"
#include "python/module.h"
#include "python/tables.h"

namespace tabrix::py {
namespace {

constexpr uint32_t kOneShotMaxRows = 1000;
constexpr uint32_t kOneShotMaxCols = 26;

PyObject* evaluate_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* arg;
  if (!parse_args("evaluate", {"formula"}, 1, args, nargs, kwnames, &arg)) return nullptr;
  auto formula = to_str(arg, "formula");
  if (!formula) return nullptr;
  Evaluator evaluator([](CellCoord) { return CellValue(); }, std::make_shared<const Registry>(),
                      kOneShotMaxRows, kOneShotMaxCols);
  auto value = evaluator.evaluate(*formula);
  if (!value) return raise_value_error(value.error().display());
  return text_or_none(*value);
}

}  // namespace

PyMethodDef kFormulaFunctions[] = {
    method<evaluate_impl>(
        "evaluate",
        "evaluate(formula)\n--\n\n"
        "Evaluate one cell input on its own: a text starting with \"=\" is a formula, anything\n"
        "else a literal. Referenced cells are empty; A:A reaches row 1000 and 1:1 column Z.\n"
        "Returns the text form of the value (of the top-left element for an array), or None\n"
        "when it is empty. Raises ValueError with the error's display text, e.g. \"#DIV/0!\"."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace tabrix::py
