#include "core/evaluator.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/parser.h"

namespace tabrix {
namespace {

// A sheet of a few cells that records every read, by canonical id.
struct Cells {
  std::map<std::string, CellValue> values;
  std::vector<std::string> reads;

  CellResolver resolver() {
    return [this](CellCoord c) {
      std::string id = range::format_cell_id(c.row, c.col);
      reads.push_back(id);
      auto it = values.find(id);
      return it == values.end() ? CellValue() : it->second;
    };
  }
};

Evaluator make_evaluator(Cells& cells, std::shared_ptr<const Registry> registry = nullptr) {
  if (!registry) registry = std::make_shared<const Registry>();
  return Evaluator(cells.resolver(), std::move(registry), 1000, 26);
}

Result<ArrayValue, FormulaError> eval(Evaluator& ev, std::string_view formula) {
  auto tree = Parser::parse(formula);
  if (!tree) return fail(FormulaError::from_text(tree.error()));
  return ev.eval_node(*tree);
}

std::string shape(const ArrayValue& a) {
  return std::to_string(a.rows) + "x" + std::to_string(a.cols);
}

TEST(Evaluator, ReadsRangesRowMajorWhateverTheCornerOrder) {
  Cells cells;
  cells.values["B1"] = CellValue::number(2);
  Evaluator ev = make_evaluator(cells);
  auto r = eval(ev, "=B2:A1");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(shape(*r), "2x2");
  EXPECT_EQ(cells.reads, (std::vector<std::string>{"A1", "B1", "A2", "B2"}));
  EXPECT_EQ(r->at(0, 1), CellValue::number(2));
}

TEST(Evaluator, WholeColumnsRowsAndAddressesWithoutCells) {
  struct Case {
    std::string formula;
    std::string shape;
    size_t reads;
    std::string first_read, last_read;
  };
  const Case cases[] = {
      {"=A:A", "1000x1", 1000, "A1", "A1000"},  // max_rows
      {"=1:1", "1x26", 26, "A1", "Z1"},         // max_cols
      {"=B:A", "1000x2", 2000, "A1", "B1000"},
      {"=$2:$1", "2x26", 52, "A1", "Z2"},
      {"=A1:B50000", "50000x2", 100000, "A1", "B50000"},  // exactly at the limit
      {"=A0", "1x1", 0, "", ""},                          // row 0 names no cell: Empty, no read
      {"=A0:A2", "3x1", 2, "A1", "A2"},
      {"=MWLQKWV1", "1x1", 0, "", ""},  // beyond the 32-bit columns
      {"=A01", "1x1", 1, "A1", "A1"},
  };
  for (const Case& c : cases) {
    Cells cells;
    Evaluator ev = make_evaluator(cells);
    auto r = eval(ev, c.formula);
    ASSERT_TRUE(r.ok()) << c.formula << ": " << r.error().display();
    EXPECT_EQ(shape(*r), c.shape) << c.formula;
    ASSERT_EQ(cells.reads.size(), c.reads) << c.formula;
    if (c.reads) {
      EXPECT_EQ(cells.reads.front(), c.first_read) << c.formula;
      EXPECT_EQ(cells.reads.back(), c.last_read) << c.formula;
    }
  }
}

// Oversized requests fail before any cell is read or computed.
TEST(Evaluator, SizeLimitsReadNothing) {
  const std::pair<std::string, std::string> cases[] = {
      {"=A1:A100001", "#SIZE! range exceeds 100000 cells"},
      {"=A1:MWLQKWU4294967295", "#SIZE! range exceeds 100000 cells"},
      {"=A:DZ", "#SIZE! range exceeds 100000 cells"},
      {"=SUM(A1:A100001)", "#SIZE! range exceeds 100000 cells"},
      {"=-A1:A100001", "#SIZE! range exceeds 100000 cells"},
  };
  for (const auto& [formula, message] : cases) {
    Cells cells;
    Evaluator ev = make_evaluator(cells);
    auto r = eval(ev, formula);
    ASSERT_FALSE(r.ok()) << formula;
    EXPECT_EQ(r.error().display(), message) << formula;
    EXPECT_TRUE(cells.reads.empty()) << formula;
  }
}

TEST(Evaluator, BroadcastShapes) {
  const std::pair<std::string, std::string> cases[] = {
      {"={1,2,3}+{10;20}", "2x3"}, {"={1;2}*3", "2x1"},     {"=-{1,2}", "1x2"},
      {"={1,2}={1;2}", "2x2"},     {"={1,0}/0", "1x2"},     {"=A1:B3&{1,2}", "3x2"},
      {"={1;2;3}^A1:A3", "3x1"},   {"=SEQUENCE(2)", "2x1"},
  };
  for (const auto& [formula, want] : cases) {
    Cells cells;
    Evaluator ev = make_evaluator(cells);
    auto r = eval(ev, formula);
    ASSERT_TRUE(r.ok()) << formula << ": " << r.error().display();
    EXPECT_EQ(shape(*r), want) << formula;
  }
}

TEST(Evaluator, SpillReferences) {
  Cells cells;
  Evaluator ev = make_evaluator(cells);
  auto before = eval(ev, "=B3#");
  ASSERT_TRUE(before.ok());
  EXPECT_EQ(before->first(), CellValue::error(FormulaError::ref()));

  ArrayValue spilled(2, 1, {CellValue::number(1), CellValue::number(2)});
  std::vector<CellCoord> asked;
  ev.with_spill_resolver([&](CellCoord anchor) -> std::optional<ArrayValue> {
    asked.push_back(anchor);
    if (anchor == CellCoord{2, 1}) return spilled;
    return std::nullopt;
  });
  auto r = eval(ev, "=B3#*10");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(*r, ArrayValue(2, 1, {CellValue::number(10), CellValue::number(20)}));
  auto other = eval(ev, "=C3#");
  ASSERT_TRUE(other.ok());
  EXPECT_EQ(other->first(), CellValue::error(FormulaError::ref()));
  EXPECT_EQ(asked, (std::vector<CellCoord>{{2, 1}, {2, 2}}));
}

TEST(Evaluator, EvaluateClassifiesLiteralsAndReportsParseErrors) {
  Cells cells;
  Evaluator ev = make_evaluator(cells);
  EXPECT_EQ(*ev.evaluate("1e3"), CellValue::number(1000));
  EXPECT_EQ(*ev.evaluate("True"), CellValue::boolean(true));
  EXPECT_EQ(*ev.evaluate(""), CellValue());
  EXPECT_EQ(*ev.evaluate("inf"), CellValue::string("inf"));
  auto parse_error = ev.evaluate("=SUM(1");
  ASSERT_FALSE(parse_error.ok());
  EXPECT_EQ(parse_error.error(), FormulaError::other("Expected RParen but got Eof"));
}

// A money type: "5 EUR" literals, shown as "5 EUR", read as the number 5. Handles + of two
// money values, / of money by a number (failing on zero), and comparisons of two money
// values; declines everything else.
class Money : public CustomTypeHandler {
 public:
  std::string type_tag() const override { return "money"; }
  std::optional<CustomValue> parse_literal(std::string_view text) const override {
    if (!text.ends_with(" EUR")) return std::nullopt;
    return CustomValue{"money", std::string(text.substr(0, text.size() - 4))};
  }
  std::string display(const CellValue& v) const override { return v.as_custom().data + " EUR"; }
  std::string edit_repr(const CellValue& v) const override { return display(v); }
  BinaryOpAnswer binary_op(BinaryOperator op, const CellValue& l,
                           const CellValue& r) const override {
    if (!is_money(l)) return std::nullopt;
    if (op == BinaryOperator::Add && is_money(r))
      return Result<CellValue, std::string>(money(amount(l) + amount(r)));
    if (op == BinaryOperator::Div && r.is_number()) {
      if (r.as_double() == 0)
        return Result<CellValue, std::string>(fail(std::string("#VALUE! money by zero")));
      return Result<CellValue, std::string>(money(amount(l) / r.as_double()));
    }
    return std::nullopt;
  }
  CompareAnswer compare(ComparisonOperator op, const CellValue& l,
                        const CellValue& r) const override {
    if (!is_money(l) || !is_money(r)) return std::nullopt;
    const double a = amount(l), b = amount(r);
    switch (op) {
      case ComparisonOperator::Eq:
        return Result<bool, std::string>(a == b);
      case ComparisonOperator::Lt:
        return Result<bool, std::string>(a < b);
      default:
        return Result<bool, std::string>(fail(std::string("unsupported comparison")));
    }
  }
  std::optional<double> as_number(const CellValue& v) const override { return amount(v); }

  static CellValue money(double x) { return CellValue::custom("money", number_text(x)); }

 private:
  static bool is_money(const CellValue& v) {
    return v.is_custom() && v.as_custom().type_tag == "money";
  }
  static double amount(const CellValue& v) { return parse_number(v.as_custom().data).value_or(0); }
};

TEST(Evaluator, CustomTypes) {
  auto registry = std::make_shared<Registry>();
  ASSERT_TRUE(registry->register_type(std::make_shared<Money>()).ok());
  Cells cells;
  cells.values["A1"] = Money::money(5);
  cells.values["A2"] = Money::money(7);
  cells.values["A3"] = CellValue::custom("ghost", "5");  // no handler has this tag
  cells.values["A4"] = CellValue::custom("ghost", "5");
  Evaluator ev = make_evaluator(cells, registry);

  EXPECT_EQ(*ev.evaluate("12 EUR"), Money::money(12));  // custom types claim literals first
  struct Case {
    std::string formula;
    std::string want;  // the display of the result, or of the failure after "fail: "
  };
  const Case cases[] = {
      {"=A1+A2", "12"},       // the handler answers: a money value (data 12)
      {"=A1&'!'", "5 EUR!"},  // & renders through the handler
      {"=A3&'!'", "5!"},      // no handler: the data
      {"=A1-1", "4"},         // declined: arithmetic on the handler's number
      {"=A1+1", "6"},
      {"=A3+1", "51"},  // no reading for an unknown tag: text join
      {"=-A1", ""},     // a prefix sign gives custom values no reading
      {"=A1/2", "2.5"},
      {"=A1/0", "fail: #VALUE! money by zero"},
      {"=A1<A2", "TRUE"},
      {"=A1=A2", "FALSE"},
      {"=A1>A2", "fail: unsupported comparison"},
      {"=A1=5", "FALSE"},  // declined: a custom value equals only a custom value
      {"=A1<>5", "TRUE"},
      {"=A1<5", "FALSE"},  // declined orderings are FALSE
      {"=A3=A4", "TRUE"},  // unknown tags: equal tag and data
      {"=A3=A1", "FALSE"},
  };
  for (const Case& c : cases) {
    auto r = ev.evaluate(c.formula);
    std::string got = r ? r->display() : "fail: " + r.error().display();
    EXPECT_EQ(got, c.want) << c.formula;
  }
  // In an array the handler's error stays in its cell.
  auto arr = eval(ev, "=A1/{0,5}");
  ASSERT_TRUE(arr.ok());
  EXPECT_EQ(arr->at(0, 0), CellValue::error(FormulaError::value("money by zero")));
  EXPECT_EQ(arr->at(0, 1), Money::money(1));
}

// Trees deeper than any parsed formula (as name substitution can build them) are evaluated
// without recursion.
TEST(Evaluator, DeepTreesWithoutRecursion) {
  Cells cells;
  Evaluator ev = make_evaluator(cells);

  AstNode signs = AstNode::Number{3};
  for (int i = 0; i < 100000; ++i) signs = AstNode::UnaryOp{'-', make_node(std::move(signs))};
  auto r1 = ev.eval_node(signs);
  ASSERT_TRUE(r1.ok());
  EXPECT_EQ(r1->first(), CellValue::number(3));

  AstNode calls = AstNode::Number{1};
  for (int i = 0; i < 100000; ++i) {
    std::vector<AstPtr> args;
    args.push_back(make_node(std::move(calls)));
    args.push_back(make_node(AstNode::Number{1}));
    calls = AstNode::FunctionCall{"SUM", std::move(args)};
  }
  auto r2 = ev.eval_node(calls);
  ASSERT_TRUE(r2.ok());
  EXPECT_EQ(r2->first(), CellValue::number(100001));

  AstNode arrays = AstNode::Number{4};
  for (int i = 0; i < 100000; ++i) {
    std::vector<std::vector<AstPtr>> rows(1);
    rows[0].push_back(make_node(std::move(arrays)));
    arrays = AstNode::ArrayLiteral{std::move(rows)};
  }
  auto r3 = ev.eval_node(arrays);
  ASSERT_TRUE(r3.ok());
  EXPECT_EQ(r3->first(), CellValue::number(4));
}

TEST(Evaluator, UnknownOperators) {
  Cells cells;
  Evaluator ev = make_evaluator(cells);
  AstNode bin =
      AstNode::BinaryOp{'?', make_node(AstNode::Number{1}), make_node(AstNode::Number{2})};
  auto r1 = ev.eval_node(bin);
  ASSERT_FALSE(r1.ok());
  EXPECT_EQ(r1.error(), FormulaError::other("Unknown operator: ?"));
  AstNode un = AstNode::UnaryOp{'!', make_node(AstNode::Number{1})};
  auto r2 = ev.eval_node(un);
  ASSERT_FALSE(r2.ok());
  EXPECT_EQ(r2.error(), FormulaError::other("Unknown unary operator: !"));
}

TEST(Evaluator, LiteralHelpers) {
  EXPECT_EQ(parse_bool_literal("tRuE"), true);
  EXPECT_EQ(parse_bool_literal("FALSE"), false);
  EXPECT_EQ(parse_bool_literal(" true"), std::nullopt);
  EXPECT_EQ(parse_bool_literal("yes"), std::nullopt);
  EXPECT_EQ(column_number("A"), 1u);
  EXPECT_EQ(column_number("aa"), 27u);
  EXPECT_EQ(column_number("MWLQKWU"), 4294967295u);
  EXPECT_EQ(column_number("ZZZZZZZZZZ"), 4294967295u);  // saturates
  EXPECT_EQ(column_number(""), 0u);
}

}  // namespace
}  // namespace tabrix
