#include "core/operators.h"

#include <cmath>
#include <string>

#include "core/builtins.h"  // kMaxArrayCells

namespace tabrix {

namespace {

struct OperatorChar {
  char c;
  BinaryOperator op;
};
constexpr OperatorChar kBinaryOperators[] = {
    {'+', BinaryOperator::Add},    {'-', BinaryOperator::Sub}, {'*', BinaryOperator::Mul},
    {'/', BinaryOperator::Div},    {'^', BinaryOperator::Pow}, {'%', BinaryOperator::Mod},
    {'&', BinaryOperator::Concat},
};

// Index of an operand's element for result cell (r, c): a single row or column stretches.
const CellValue& stretched(const ArrayValue& a, uint32_t r, uint32_t c) {
  return a.at(a.rows == 1 ? 0 : r, a.cols == 1 ? 0 : c);
}

// Applies `cell(x, y)` to every broadcast pair under the error rule.
template <class CellFn>
Result<ArrayValue, FormulaError> broadcast(const ArrayValue& left, const ArrayValue& right,
                                           std::string_view label, CellFn&& cell) {
  auto shape = broadcast_shape(left.rows, left.cols, right.rows, right.cols, label);
  if (!shape) return fail(std::move(shape.error()));
  const bool single = uint64_t(shape->rows) * shape->cols == 1;
  std::vector<CellValue> data;
  data.reserve(size_t(shape->rows) * shape->cols);
  for (uint32_t r = 0; r < shape->rows; ++r) {
    for (uint32_t c = 0; c < shape->cols; ++c) {
      Result<CellValue, FormulaError> v = cell(stretched(left, r, c), stretched(right, r, c));
      if (v) {
        data.push_back(std::move(*v));
      } else if (single) {
        return fail(std::move(v.error()));
      } else {
        data.push_back(CellValue::error(std::move(v.error())));
      }
    }
  }
  return ArrayValue(shape->rows, shape->cols, std::move(data));
}

std::string joined_text(const CellValue& x, const CellValue& y, const Registry& registry) {
  std::string out;
  registry.append_render(out, x);
  registry.append_render(out, y);
  return out;
}

Result<CellValue, FormulaError> arithmetic(BinaryOperator op, double a, double b) {
  switch (op) {
    case BinaryOperator::Add:
      return CellValue::number(a + b);
    case BinaryOperator::Sub:
      return CellValue::number(a - b);
    case BinaryOperator::Mul:
      return CellValue::number(a * b);
    case BinaryOperator::Div:
      if (b == 0) return fail(FormulaError::div_zero());  // also -0
      return CellValue::number(a / b);
    case BinaryOperator::Pow:
      return CellValue::number(std::pow(a, b));
    case BinaryOperator::Mod:
      return CellValue::number(std::fmod(a, b));  // a zero divisor gives NaN, not an error
    case BinaryOperator::Concat:
      break;
  }
  return CellValue();
}

int numeric_order(double a, double b) {
  if (a < b) return -1;
  if (a > b) return 1;
  return 0;  // equal, or NaN on either side
}

// Orders two plain values (Number, String, Boolean, Empty): numbers and booleans below
// texts; Empty acts as 0 against numbers and booleans and as "" against texts.
int plain_order(const CellValue& x, const CellValue& y) {
  const bool xs = x.is_string(), ys = y.is_string();
  if (xs && ys) {
    int c = std::string_view(x.as_string()).compare(y.as_string());  // bytes as unsigned
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  if (xs) return y.is_empty() && x.as_string().empty() ? 0 : 1;
  if (ys) return x.is_empty() && y.as_string().empty() ? 0 : -1;
  auto as_plain_number = [](const CellValue& v) {
    if (v.is_number()) return v.as_double();
    if (v.is_boolean()) return v.as_bool() ? 1.0 : 0.0;
    return 0.0;  // Empty
  };
  return numeric_order(as_plain_number(x), as_plain_number(y));
}

bool order_satisfies(ComparisonOperator op, int order) {
  switch (op) {
    case ComparisonOperator::Eq:
      return order == 0;
    case ComparisonOperator::Ne:
      return order != 0;
    case ComparisonOperator::Lt:
      return order < 0;
    case ComparisonOperator::Le:
      return order <= 0;
    case ComparisonOperator::Gt:
      return order > 0;
    case ComparisonOperator::Ge:
      return order >= 0;
  }
  return false;
}

}  // namespace

bool exceeds_cell_limit(uint64_t rows, uint64_t cols) {
  // Either count alone past the limit would overflow the product for huge inputs.
  if (rows == 0 || cols == 0) return false;
  if (rows > kMaxArrayCells || cols > kMaxArrayCells) return true;
  return rows * cols > kMaxArrayCells;
}

FormulaError cell_limit_error(std::string_view what) {
  return FormulaError::size(std::string(what) + " exceeds " + std::to_string(kMaxArrayCells) +
                            " cells");
}

std::optional<BinaryOperator> binary_operator_of(char op) {
  for (const auto& e : kBinaryOperators)
    if (e.c == op) return e.op;
  return std::nullopt;
}

Result<CellValue, FormulaError> eval_unary_op(char op, const CellValue& value) {
  if (op != '+' && op != '-')
    return fail(FormulaError::other("Unknown unary operator: " + std::string(1, op)));
  std::optional<double> x;
  if (value.is_number())
    x = value.as_double();
  else if (value.is_boolean())
    x = value.as_bool() ? 1.0 : 0.0;
  else if (value.is_string())
    x = parse_number(value.as_string());
  if (!x) return CellValue();
  return CellValue::number(op == '-' ? -*x : *x);
}

Result<Shape, FormulaError> broadcast_shape(uint32_t left_rows, uint32_t left_cols,
                                            uint32_t right_rows, uint32_t right_cols,
                                            std::string_view label) {
  auto combine = [](uint32_t a, uint32_t b) -> std::optional<uint32_t> {
    if (a == b || b == 1) return a;
    if (a == 1) return b;
    return std::nullopt;
  };
  auto rows = combine(left_rows, right_rows);
  auto cols = combine(left_cols, right_cols);
  if (!rows || !cols) return fail(FormulaError::value("incompatible array shapes"));
  if (exceeds_cell_limit(*rows, *cols))
    return fail(cell_limit_error(std::string(label) + " result"));
  return Shape{*rows, *cols};
}

Result<CellValue, FormulaError> binop_cell(BinaryOperator op, const CellValue& x,
                                           const CellValue& y, const Registry& registry) {
  if (x.is_number() && y.is_number() && op != BinaryOperator::Concat)
    return arithmetic(op, x.as_double(), y.as_double());
  if ((x.is_custom() || y.is_custom()) && !registry.types().empty()) {
    if (BinaryOpAnswer answer = registry.binary_op(op, x, y)) {
      if (*answer) return std::move(**answer);
      return fail(FormulaError::from_text(answer->error()));
    }
  }
  if (op == BinaryOperator::Concat) return CellValue::string(joined_text(x, y, registry));
  auto a = registry.coerce_number(x);
  auto b = registry.coerce_number(y);
  if (a && b) return arithmetic(op, *a, *b);
  if (op == BinaryOperator::Add) return CellValue::string(joined_text(x, y, registry));
  return CellValue();
}

Result<ArrayValue, FormulaError> broadcast_binop(BinaryOperator op, const ArrayValue& left,
                                                 const ArrayValue& right,
                                                 const Registry& registry) {
  return broadcast(left, right, "broadcast", [&](const CellValue& x, const CellValue& y) {
    return binop_cell(op, x, y, registry);
  });
}

Result<CellValue, FormulaError> compare_cell(ComparisonOperator op, const CellValue& x,
                                             const CellValue& y, const Registry& registry) {
  if (x.is_error()) return fail(x.as_error());
  if (y.is_error()) return fail(y.as_error());
  if (x.is_custom() || y.is_custom()) {
    if (!registry.types().empty()) {
      if (CompareAnswer answer = registry.compare(op, x, y)) {
        if (*answer) return CellValue::boolean(**answer);
        return fail(FormulaError::from_text(answer->error()));
      }
    }
    const bool equal = x.is_custom() && y.is_custom() && x.as_custom() == y.as_custom();
    if (op == ComparisonOperator::Eq) return CellValue::boolean(equal);
    if (op == ComparisonOperator::Ne) return CellValue::boolean(!equal);
    return CellValue::boolean(false);
  }
  return CellValue::boolean(order_satisfies(op, plain_order(x, y)));
}

Result<ArrayValue, FormulaError> broadcast_compare(ComparisonOperator op, const ArrayValue& left,
                                                   const ArrayValue& right,
                                                   const Registry& registry) {
  return broadcast(left, right, "comparison", [&](const CellValue& x, const CellValue& y) {
    return compare_cell(op, x, y, registry);
  });
}

}  // namespace tabrix
