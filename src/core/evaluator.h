// Evaluator: computes the value of a cell input. A literal text is classified (custom types,
// numbers, booleans, empty, text); a formula is parsed (core/parser.h) and its syntax tree
// walked. Every node evaluates to an `ArrayValue`, a scalar being 1 x 1, so scalar and
// dynamic-array formulas share one path; operators broadcast (core/operators.h).
//
// The evaluator does not know the sheet. It reads cells through a resolver callback given
// 0-based coordinates, reads spilled arrays through an optional spill resolver, calls
// functions through `call_function` (custom functions first, then the built-ins) and asks the
// shared registry about custom values.
//
// Two outcomes per node: success with an array (whose cells may hold `Error` values, which
// are ordinary data), or failure with a `FormulaError`, which aborts the whole formula.
//
// For the sheet: parse once with `Parser::parse`, walk the tree (`walk`, `walk_mut` in
// core/ast.h) to collect references and substitute names, then `eval_node` on the tree, and
// reduce the array with `ArrayValue::first` where one value is wanted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "core/a1.h"
#include "core/ast.h"
#include "core/registry.h"
#include "core/result.h"
#include "core/value.h"

namespace tabrix {

// The value of one cell, given its 0-based coordinates (the canonical id is
// `range::format_cell_id(row, col)`); cells that do not exist yield Empty. Only existing
// addresses are asked: references to row 0 ("A0") or to columns beyond 32 bits read as Empty
// without a call.
using CellResolver = std::function<CellValue(CellCoord cell)>;
// The whole array spilled from an anchor cell, or none.
using SpillResolver = std::function<std::optional<ArrayValue>(CellCoord anchor)>;

// The classification of a literal (non-formula) input: the first custom type that claims
// the text, then a finite number under the number grammar ("1e3", not " 1" or "inf"), then
// `parse_bool_literal`, then Empty for "", else the text itself. Cannot fail.
CellValue classify_literal(std::string_view text, const Registry& registry);

// True for "true", false for "false", in any ASCII case with nothing around; none otherwise.
std::optional<bool> parse_bool_literal(std::string_view text);

// The 1-based column number of letters (A = 1, AA = 27), saturating at 4294967295; 0 for an
// empty text. Cannot fail.
uint32_t column_number(std::string_view letters);

class Evaluator {
 public:
  // `max_rows` is the last row (1-based) read by whole-column ranges such as A:C, `max_cols`
  // the last column (1-based) read by whole-row ranges such as 1:5.
  Evaluator(CellResolver resolver, std::shared_ptr<const Registry> registry, uint32_t max_rows,
            uint32_t max_cols);

  // Installs the spill resolver, replacing any previous one. Cannot fail.
  Evaluator& with_spill_resolver(SpillResolver spill_resolver);

  // Evaluates one cell input: a non-empty text starting with "=" is a formula, whose value is
  // the top-left element of its array (Empty for an empty array); anything else is a literal
  // (`classify_literal`). Fails with the parse error text read by `FormulaError::from_text`
  // (normally Other) or with the formula's failure.
  Result<CellValue, FormulaError> evaluate(std::string_view text);

  // The array of one node. Fails with Name (a name left in the tree), Size ("range exceeds
  // 100000 cells", "array literal exceeds 100000 cells", "broadcast result exceeds ...",
  // "comparison result exceeds ..."), Value "incompatible array shapes", DivZero and handler
  // errors of single-cell operations, a function's failure, or Other "Unknown operator: {}"
  // or "Unknown unary operator: {}". Iterative: trees of any depth are evaluated without
  // recursion.
  Result<ArrayValue, FormulaError> eval_node(const AstNode& node);

  // The rectangle between two corners given as column letters and 1-based rows, in any
  // order, read row-major through the resolver. Fails with Size "range exceeds 100000 cells"
  // before reading any cell.
  Result<ArrayValue, FormulaError> expand_range(std::string_view start_letters, uint32_t start_row,
                                                std::string_view end_letters, uint32_t end_row);

  const Registry& registry() const { return *registry_; }
  uint32_t max_rows() const { return max_rows_; }
  uint32_t max_cols() const { return max_cols_; }

 private:
  using Evaluated = Result<ArrayValue, FormulaError>;

  static bool has_operands(const AstNode& node);
  Evaluated eval_leaf(const AstNode& node);
  std::optional<FormulaError> combine(const AstNode& node, std::vector<ArrayValue>& values);
  // The rectangle between 1-based column and row numbers (0 names no cell).
  Evaluated expand_numbers(uint32_t col1, uint32_t row1, uint32_t col2, uint32_t row2);
  CellValue read_cell(uint32_t col, uint32_t row) const;

  CellResolver resolver_;
  std::shared_ptr<const Registry> registry_;
  SpillResolver spill_resolver_;
  uint32_t max_rows_;
  uint32_t max_cols_;
};

}  // namespace tabrix
