// The formula operators over values and arrays: prefix signs, arithmetic and "&", and the
// comparisons, with the language's coercion and ordering rules and its broadcasting.
//
// Element-wise operations stretch a 1 x 1 operand over everything, a single row down and a
// single column across; other shape mismatches fail. Result arrays are limited to
// `kMaxArrayCells` cells, checked before any cell is computed.
//
// Error rule: a cell whose computation produces an error (division by zero, an error value
// met by a comparison, an error reported by a custom handler) holds that error as an
// `Error` value; when the whole result is a single cell, the operation fails with it instead.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/registry.h"
#include "core/result.h"
#include "core/value.h"

namespace tabrix {

// True when an array of rows x cols would hold more than `kMaxArrayCells` cells; safe for
// any 64-bit counts. Cannot fail.
bool exceeds_cell_limit(uint64_t rows, uint64_t cols);
// The `Size` failure "{what} exceeds 100000 cells" ("range", "broadcast result", ...).
FormulaError cell_limit_error(std::string_view what);

// The operator code of a formula operator character (+ - * / ^ % &); none for others.
std::optional<BinaryOperator> binary_operator_of(char op);

// A prefix sign applied to one value: numbers as they are, texts read with the number grammar
// (untrimmed), booleans as 1 or 0; "-" flips the sign (so -0 is negative zero). A value
// without such a reading (other text, Empty, Error, Custom) becomes Empty. Fails with Other
// "Unknown unary operator: {}" for an operator other than + and -.
Result<CellValue, FormulaError> eval_unary_op(char op, const CellValue& value);

struct Shape {
  uint32_t rows;
  uint32_t cols;
};
// The broadcast shape of two operands: equal counts stay, a count of 1 takes the other's.
// Fails with Value "incompatible array shapes", or with Size "{label} result exceeds 100000
// cells" when the result would be too large.
Result<Shape, FormulaError> broadcast_shape(uint32_t left_rows, uint32_t left_cols,
                                            uint32_t right_rows, uint32_t right_cols,
                                            std::string_view label);

// One arithmetic or "&" result cell: custom handlers first (when either side is Custom),
// then "&" as text, then arithmetic on numeric readings; + of operands without a reading
// joins their texts, other operators give Empty. Fails with DivZero for a zero divisor or
// with a handler's error text read by `FormulaError::from_text`.
Result<CellValue, FormulaError> binop_cell(BinaryOperator op, const CellValue& x,
                                           const CellValue& y, const Registry& registry);

// `binop_cell` over every broadcast element pair. Fails as `broadcast_shape` (label
// "broadcast") or, for a single-cell result, with that cell's error.
Result<ArrayValue, FormulaError> broadcast_binop(BinaryOperator op, const ArrayValue& left,
                                                 const ArrayValue& right, const Registry& registry);

// One comparison result cell: an Error operand is the failure; custom handlers decide pairs
// with a Custom side (unanswered: equal exactly when tag and data are equal, orderings FALSE);
// otherwise numbers < texts, texts compare byte-wise, and Empty acts as 0, "" or FALSE.
Result<CellValue, FormulaError> compare_cell(ComparisonOperator op, const CellValue& x,
                                             const CellValue& y, const Registry& registry);

// `compare_cell` over every broadcast element pair. Fails as `broadcast_shape` (label
// "comparison") or, for a single-cell result, with that cell's error.
Result<ArrayValue, FormulaError> broadcast_compare(ComparisonOperator op, const ArrayValue& left,
                                                   const ArrayValue& right,
                                                   const Registry& registry);

}  // namespace tabrix
