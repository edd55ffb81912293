#include "core/evaluator.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "core/builtins.h"
#include "core/operators.h"
#include "core/parser.h"

namespace tabrix {

namespace {

using N = AstNode;

constexpr uint32_t kMaxU32 = 4294967295u;

char ascii_lower(char c) {
  return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool equals_ignoring_ascii_case(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (ascii_lower(text[i]) != lower[i]) return false;
  return true;
}

// The 0-based coordinates of a reference as written, or none when no cell can have that
// address (row 0, or letters beyond the 32-bit column range).
std::optional<CellCoord> coord_of(std::string_view letters, uint32_t row) {
  if (row == 0) return std::nullopt;
  auto col = range::col_to_index(letters);
  if (!col) return std::nullopt;
  return CellCoord{row - 1, *col};
}

}  // namespace

std::optional<bool> parse_bool_literal(std::string_view text) {
  if (equals_ignoring_ascii_case(text, "true")) return true;
  if (equals_ignoring_ascii_case(text, "false")) return false;
  return std::nullopt;
}

CellValue classify_literal(std::string_view text, const Registry& registry) {
  if (auto custom = registry.parse_literal(text)) return std::move(*custom);
  if (auto x = parse_number(text); x && std::isfinite(*x)) return CellValue::number(*x);
  if (auto b = parse_bool_literal(text)) return CellValue::boolean(*b);
  if (text.empty()) return CellValue();
  return CellValue::string(std::string(text));
}

uint32_t column_number(std::string_view letters) {
  uint64_t n = 0;
  for (char c : letters) {
    n = n * 26 + uint64_t(ascii_lower(c) - 'a' + 1);
    if (n >= kMaxU32) return kMaxU32;
  }
  return uint32_t(n);
}

Evaluator::Evaluator(CellResolver resolver, std::shared_ptr<const Registry> registry,
                     uint32_t max_rows, uint32_t max_cols)
    : resolver_(std::move(resolver)),
      registry_(std::move(registry)),
      max_rows_(max_rows),
      max_cols_(max_cols) {}

Evaluator& Evaluator::with_spill_resolver(SpillResolver spill_resolver) {
  spill_resolver_ = std::move(spill_resolver);
  return *this;
}

Result<CellValue, FormulaError> Evaluator::evaluate(std::string_view text) {
  if (!text.starts_with('=')) return classify_literal(text, *registry_);
  auto tree = Parser::parse(text);
  if (!tree) return fail(FormulaError::from_text(tree.error()));
  auto array = eval_node(*tree);
  if (!array) return fail(std::move(array.error()));
  return array->first();
}

// Trees can be as deep as a formula is long ("=1+1+...+1" is a left-leaning chain of 200000
// operators) and grow further when the sheet substitutes names, so evaluation uses no
// recursion: nodes are visited in post-order with an explicit task stack, and the arrays of
// evaluated operands wait on a value stack. The order is that of the recursive definition:
// operands left to right (the first failure stops everything), then the node itself.
Result<ArrayValue, FormulaError> Evaluator::eval_node(const AstNode& root) {
  struct Task {
    const AstNode* node;
    bool operands_done;
  };
  std::vector<Task> tasks{{&root, false}};
  std::vector<ArrayValue> values;
  while (!tasks.empty()) {
    const Task task = tasks.back();
    tasks.pop_back();
    const AstNode& n = *task.node;
    if (!has_operands(n)) {
      auto v = eval_leaf(n);
      if (!v) return v;
      values.push_back(std::move(*v));
    } else if (!task.operands_done) {
      // An oversized array literal fails before any of its elements is evaluated.
      if (const auto* arr = n.get_if<N::ArrayLiteral>())
        if (exceeds_cell_limit(arr->rows.size(), arr->rows[0].size()))
          return fail(cell_limit_error("array literal"));
      tasks.push_back({&n, true});
      const size_t first = tasks.size();
      for_each_child(n, [&](const AstPtr& c) { tasks.push_back({c.get(), false}); });
      std::reverse(tasks.begin() + ptrdiff_t(first), tasks.end());  // leftmost on top
    } else if (auto failure = combine(n, values)) {
      return fail(std::move(*failure));
    }
  }
  return std::move(values.back());
}

bool Evaluator::has_operands(const AstNode& n) {
  switch (n.kind()) {
    case N::Kind::BinaryOp:
    case N::Kind::Compare:
    case N::Kind::UnaryOp:
    case N::Kind::FunctionCall:
    case N::Kind::ArrayLiteral:
      return true;
    default:
      return false;
  }
}

Evaluator::Evaluated Evaluator::eval_leaf(const AstNode& node) {
  switch (node.kind()) {
    case N::Kind::Number:
      return ArrayValue::scalar(CellValue::number(node.get_if<N::Number>()->value));
    case N::Kind::String:
      return ArrayValue::scalar(CellValue::string(node.get_if<N::String>()->value));
    case N::Kind::Boolean:
      return ArrayValue::scalar(CellValue::boolean(node.get_if<N::Boolean>()->value));
    case N::Kind::CellRef: {
      const auto& ref = *node.get_if<N::CellRef>();
      auto coord = coord_of(ref.col, ref.row);
      return ArrayValue::scalar(coord ? resolver_(*coord) : CellValue());
    }
    case N::Kind::Range: {
      const auto& r = *node.get_if<N::Range>();
      return expand_range(r.start_col, r.start_row, r.end_col, r.end_row);
    }
    case N::Kind::ColumnRange: {
      const auto& r = *node.get_if<N::ColumnRange>();
      return expand_numbers(column_number(r.start_col), 1, column_number(r.end_col), max_rows_);
    }
    case N::Kind::RowRange: {
      const auto& r = *node.get_if<N::RowRange>();
      return expand_numbers(1, r.start_row, max_cols_, r.end_row);
    }
    case N::Kind::SpillRef: {
      const auto& ref = *node.get_if<N::SpillRef>();
      auto coord = coord_of(ref.col, ref.row);
      if (coord && spill_resolver_)
        if (auto spilled = spill_resolver_(*coord)) return std::move(*spilled);
      return ArrayValue::scalar(CellValue::error(FormulaError::ref()));
    }
    case N::Kind::Name:
      // The sheet substitutes defined names before evaluation; one left here is unknown.
      return fail(FormulaError::name());
    default:
      break;
  }
  return fail(FormulaError::other("node with operands evaluated as a leaf"));  // not reached
}

// Replaces the operand arrays of `n` on top of `values` by the array of `n`.
std::optional<FormulaError> Evaluator::combine(const AstNode& n, std::vector<ArrayValue>& values) {
  if (const auto* u = n.get_if<N::UnaryOp>()) {
    if (u->op != '+' && u->op != '-')
      return FormulaError::other("Unknown unary operator: " + std::string(1, u->op));
    for (CellValue& v : values.back().data) v = *eval_unary_op(u->op, v);  // op is valid here
    return std::nullopt;
  }
  size_t operands = 2;
  Evaluated result = ArrayValue();
  if (const auto* call = n.get_if<N::FunctionCall>()) {
    // Every argument was evaluated, left to right, before the function runs; IF therefore
    // sees both branches, and a failing argument aborted before the call.
    operands = call->args.size();
    std::span<const ArrayValue> args(values.data() + values.size() - operands, operands);
    result = call_function(call->name, args, *registry_);
  } else if (const auto* arr = n.get_if<N::ArrayLiteral>()) {
    const size_t rows = arr->rows.size(), cols = arr->rows[0].size();
    operands = rows * cols;
    std::vector<CellValue> data;
    data.reserve(operands);
    for (size_t i = values.size() - operands; i < values.size(); ++i)
      data.push_back(values[i].first());
    result = ArrayValue(uint32_t(rows), uint32_t(cols), std::move(data));
  } else {
    const ArrayValue& left = values[values.size() - 2];
    const ArrayValue& right = values.back();
    if (const auto* c = n.get_if<N::Compare>()) {
      result = broadcast_compare(c->op, left, right, *registry_);
    } else {
      const char op_char = n.get_if<N::BinaryOp>()->op;
      auto op = binary_operator_of(op_char);
      if (!op) return FormulaError::other("Unknown operator: " + std::string(1, op_char));
      result = broadcast_binop(*op, left, right, *registry_);
    }
  }
  if (!result) return std::move(result.error());
  values.resize(values.size() - operands);
  values.push_back(std::move(*result));
  return std::nullopt;
}

Result<ArrayValue, FormulaError> Evaluator::expand_range(std::string_view start_letters,
                                                         uint32_t start_row,
                                                         std::string_view end_letters,
                                                         uint32_t end_row) {
  return expand_numbers(column_number(start_letters), start_row, column_number(end_letters),
                        end_row);
}

CellValue Evaluator::read_cell(uint32_t col, uint32_t row) const {
  if (col == 0 || row == 0) return CellValue();  // "A0" and column "" name no cell
  return resolver_(CellCoord{row - 1, col - 1});
}

Evaluator::Evaluated Evaluator::expand_numbers(uint32_t col1, uint32_t row1, uint32_t col2,
                                               uint32_t row2) {
  const auto [col_lo, col_hi] = std::minmax(col1, col2);
  const auto [row_lo, row_hi] = std::minmax(row1, row2);
  const uint64_t rows = uint64_t(row_hi) - row_lo + 1;
  const uint64_t cols = uint64_t(col_hi) - col_lo + 1;
  if (exceeds_cell_limit(rows, cols)) return fail(cell_limit_error("range"));
  std::vector<CellValue> data;
  data.reserve(rows * cols);
  for (uint64_t r = row_lo; r <= row_hi; ++r)
    for (uint64_t c = col_lo; c <= col_hi; ++c) data.push_back(read_cell(uint32_t(c), uint32_t(r)));
  return ArrayValue(uint32_t(rows), uint32_t(cols), std::move(data));
}

}  // namespace tabrix
