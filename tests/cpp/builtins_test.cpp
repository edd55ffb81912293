#include "core/builtins.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/unicode.h"

namespace tabrix {
namespace {

const double kNaN = NAN;
const double kInf = INFINITY;

CellValue N(double x) {
  return CellValue::number(x);
}
CellValue S(const char* s) {
  return CellValue::string(s);
}
CellValue B(bool b) {
  return CellValue::boolean(b);
}
CellValue E() {
  return CellValue();
}
CellValue Err(FormulaError e) {
  return CellValue::error(std::move(e));
}
CellValue C(const char* tag, const char* data) {
  return CellValue::custom(tag, data);
}

ArrayValue A(uint32_t rows, uint32_t cols, std::vector<CellValue> data) {
  return ArrayValue(rows, cols, std::move(data));
}
ArrayValue V(CellValue v) {
  return ArrayValue::scalar(std::move(v));
}
ArrayValue Col(std::vector<CellValue> data) {
  uint32_t n = uint32_t(data.size());
  return A(n, 1, std::move(data));
}
ArrayValue Row(std::vector<CellValue> data) {
  uint32_t n = uint32_t(data.size());
  return A(1, n, std::move(data));
}

// Equality that also tells NaN from NaN and -0 from 0, which CellValue == cannot.
bool same(const CellValue& a, const CellValue& b) {
  if (a.is_number() && b.is_number()) {
    double x = a.as_double(), y = b.as_double();
    if (std::isnan(x) || std::isnan(y)) return std::isnan(x) && std::isnan(y);
    return x == y && std::signbit(x) == std::signbit(y);
  }
  return a == b;
}

std::string show(const ArrayValue& a) {
  std::string out = std::to_string(a.rows) + "x" + std::to_string(a.cols) + " {";
  for (size_t i = 0; i < a.data.size(); ++i) {
    if (i) out += i % a.cols ? ", " : "; ";
    out += a.data[i].is_string() ? tabrix::quoted_form(a.data[i].as_string()) : a.data[i].display();
  }
  return out + "}";
}

::testing::AssertionResult SameArray(const ArrayValue& got, const ArrayValue& want) {
  bool ok = got.rows == want.rows && got.cols == want.cols;
  for (size_t i = 0; ok && i < got.data.size(); ++i) ok = same(got.data[i], want.data[i]);
  if (ok) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << show(got) << ", want " << show(want);
}

// A type "num" whose data is a number and which shows as "#data".
class NumHandler : public CustomTypeHandler {
 public:
  std::string type_tag() const override { return "num"; }
  std::string display(const CellValue& v) const override { return "#" + v.as_custom().data; }
  std::string edit_repr(const CellValue& v) const override { return v.as_custom().data; }
  CompareAnswer compare(ComparisonOperator, const CellValue&, const CellValue&) const override {
    return std::nullopt;
  }
  std::optional<double> as_number(const CellValue& v) const override {
    return parse_number(v.as_custom().data);
  }
};

const Registry& registry_with_num() {
  static const Registry r = [] {
    Registry r;
    (void)r.register_type(std::make_shared<NumHandler>());
    return r;
  }();
  return r;
}

struct Case {
  const char* name;
  std::vector<ArrayValue> args;
  ArrayValue want;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class SucceedsTest : public ::testing::TestWithParam<Case> {};

TEST_P(SucceedsTest, Result) {
  const Case& c = GetParam();
  auto r = call_function(c.name, c.args, registry_with_num());
  ASSERT_TRUE(r) << r.error().display();
  EXPECT_TRUE(SameArray(*r, c.want));
}

INSTANTIATE_TEST_SUITE_P(
    Aggregate, SucceedsTest,
    ::testing::Values(
        Case{"SUM", {}, V(N(-0.0))},  // a sum of nothing is negative zero
        Case{"SUM", {V(N(1)), V(S("2")), V(B(true)), V(S("x"))}, V(N(4))},
        Case{"SUM", {Col({N(1), N(2), E()}), V(C("num", "10")), V(C("other", "5"))}, V(N(13))},
        Case{"SUM", {V(S(" 5")), V(S("inf"))}, V(N(kInf))},  // untrimmed; "inf" is a number
        Case{"AVERAGE", {V(N(2)), V(N(4)), V(N(6))}, V(N(4))}, Case{"AVERAGE", {V(S("x"))}, V(E())},
        Case{"MEAN", {Row({N(1), N(2)})}, V(N(1.5))}, Case{"AVG", {V(N(3)), V(E())}, V(N(3))},
        Case{"MIN", {V(N(3)), V(N(1)), V(N(5))}, V(N(1))},
        Case{"MIN", {V(N(kNaN)), V(N(2)), V(N(kNaN))}, V(N(2))},
        Case{"MIN", {V(N(kNaN))}, V(N(kInf))}, Case{"MIN", {V(S("x"))}, V(E())},
        Case{"MAX", {V(N(3)), V(N(1)), V(N(5))}, V(N(5))}, Case{"MAX", {V(N(kNaN))}, V(N(-kInf))},
        Case{"MAX", {}, V(E())}, Case{"MAX", {V(B(true)), V(S("0.5")), V(C("num", "-1"))}, V(N(1))},
        Case{"COUNT", {V(N(1)), V(S("1")), V(B(true)), V(S("")), V(S("x"))}, V(N(3))},
        Case{"COUNT",
             {Col({E(), Err(FormulaError::div_zero()), C("num", "1"), C("x", "1")})},
             V(N(1))},
        Case{"CONCAT", {V(N(1.5)), V(B(true)), V(S("x"))}, V(S("1.5TRUEx"))},
        Case{"CONCAT", {}, V(S(""))},
        Case{"CONCAT",
             {Row({Err(FormulaError::div_zero()), E(), N(-0.0)}), V(C("num", "1")),
              V(C("x", "raw"))},
             V(S("#DIV/0!-0#1raw"))}));

INSTANTIATE_TEST_SUITE_P(
    Elementwise, SucceedsTest,
    ::testing::Values(
        Case{"ROUND", {V(N(2.5))}, V(N(3))}, Case{"ROUND", {V(N(-2.5))}, V(N(-3))},
        Case{"ROUND", {V(N(1234.5678)), V(N(2))}, V(N(1234.57))},
        Case{"ROUND", {V(N(1234)), V(N(-2))}, V(N(1200))},
        Case{"ROUND", {V(N(3.456)), V(N(2.9))}, V(N(3.46))},  // digit count loses its fraction
        Case{"ROUND", {V(N(1.5)), V(N(kNaN))}, V(N(2))},      // NaN digits count as 0
        Case{"ROUND", {V(S("x")), V(N(2))}, V(N(2))},         // the readings shift
        Case{"ROUND", {V(C("num", "2.25")), V(N(1))}, V(N(2.3))},
        Case{"ROUND", {V(S("x"))}, V(E())},
        Case{"ROUND", {Col({N(1.25), S("x"), N(-0.04)}), V(N(1))}, Col({N(1.3), N(1), N(-0.0)})},
        // Digit counts beyond the double range: x stays, or becomes a zero of its sign.
        Case{"ROUND", {V(N(5.5)), V(N(400))}, V(N(5.5))},
        Case{"ROUND", {V(N(1e300)), V(N(10))}, V(N(1e300))},
        Case{"ROUND", {V(N(-5)), V(N(-1e300))}, V(N(-0.0))},
        Case{"ROUND", {V(N(5)), V(N(-400))}, V(N(0))},
        Case{"ROUND", {V(N(-kInf)), V(N(-400))}, V(N(-kInf))},
        Case{"ROUND", {V(N(kNaN)), V(N(2))}, V(N(kNaN))}, Case{"ABS", {V(S("-3"))}, V(N(3))},
        Case{"ABS", {V(S("x"))}, V(E())}, Case{"ABS", {}, V(E())},
        Case{"ABS", {V(B(true))}, V(N(1))},
        Case{"ABS", {A(2, 2, {N(-1), N(2), S("-3"), E()})}, A(2, 2, {N(1), N(2), N(3), E()})},
        Case{"ABS", {A(0, 3, {})}, A(0, 3, {})},
        Case{"LEN", {V(S("h\xC3\xA9"))}, V(N(3))},  // bytes of UTF-8, é is two
        Case{"LEN", {V(N(12.5))}, V(N(4))}, Case{"LEN", {V(E())}, V(N(0))},
        Case{"LEN", {V(C("num", "12"))}, V(N(3))},
        Case{"UPPER",
             {V(S("stra\xC3\x9F"
                  "e"))},
             V(S("STRASSE"))},
        Case{"UPPER", {Col({S("a"), B(false), E()})}, Col({S("A"), S("FALSE"), S("")})},
        Case{"UPPER", {V(C("num", "x"))}, V(S("#X"))},
        Case{"LOWER",
             {V(S("\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3"))},  // ΟΔΟΣ -> οδος, final sigma
             V(S("\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82"))},
        Case{"LOWER", {V(Err(FormulaError::name())), V(S("ignored"))}, V(S("#name?"))}));

INSTANTIATE_TEST_SUITE_P(
    If, SucceedsTest,
    ::testing::Values(
        Case{"IF", {V(B(true)), V(N(1)), V(N(2))}, V(N(1))},
        Case{"IF", {Row({B(true), B(false)}), V(N(1)), V(N(2))}, Row({N(1), N(2)})},
        Case{"IF",
             {Col({B(true), B(false)}), Row({N(1), N(2)}), V(N(0))},
             A(2, 2, {N(1), N(2), N(0), N(0)})},
        Case{"IF",
             {Row({N(kNaN), N(-0.0), S(""), S("a"), E(), C("x", ""), Err(FormulaError::ref())}),
              V(S("t")), V(S("f"))},
             Row({S("t"), S("f"), S("f"), S("t"), S("f"), S("t"), S("f")})},
        Case{"IF", {V(B(true))}, V(E())},  // missing branches are Empty
        Case{"IF", {}, V(E())}, Case{"IF", {V(B(false)), V(N(1))}, V(E())},
        Case{"IF", {V(B(true)), V(N(1)), V(N(2)), Row({N(1), N(2), N(3)})}, V(N(1))}));

INSTANTIATE_TEST_SUITE_P(
    Sequence, SucceedsTest,
    ::testing::Values(
        Case{"SEQUENCE", {V(N(3))}, Col({N(1), N(2), N(3)})},
        Case{"SEQUENCE",
             {V(N(2)), V(N(3)), V(N(10)), V(N(5))},
             A(2, 3, {N(10), N(15), N(20), N(25), N(30), N(35)})},
        Case{"SEQUENCE", {V(N(2.9))}, Col({N(1), N(2)})},
        Case{"SEQUENCE", {V(S("2")), V(S("x")), V(B(true)), V(E())}, Col({N(1), N(2)})},
        Case{"SEQUENCE", {V(N(1)), V(N(2)), V(N(0.5)), V(N(-1))}, Row({N(0.5), N(-0.5)})},
        Case{"SEQUENCE", {V(N(kNaN))}, A(0, 1, {})}));

INSTANTIATE_TEST_SUITE_P(
    Reshape, SucceedsTest,
    ::testing::Values(
        Case{"TRANSPOSE",
             {A(2, 3, {N(1), N(2), N(3), N(4), N(5), N(6)})},
             A(3, 2, {N(1), N(4), N(2), N(5), N(3), N(6)})},
        Case{"TRANSPOSE", {Row({N(1), N(2)}), V(N(9))}, Col({N(1), N(2)})},
        Case{"TRANSPOSE", {A(0, 2, {})}, A(2, 0, {})},
        Case{"FILTER",
             {A(3, 2, {N(1), S("a"), N(2), S("b"), N(3), S("c")}), Col({B(true), N(0), S("x")})},
             A(2, 2, {N(1), S("a"), N(3), S("c")})},
        Case{"FILTER",
             {A(2, 2, {N(1), N(2), N(3), N(4)}), A(2, 2, {B(true), B(false), B(false), B(true)})},
             Col({N(1), N(4)})},
        Case{"FILTER",
             {Col({N(1), N(2)}), Col({E(), Err(FormulaError::value())})},
             V(Err(FormulaError::not_available()))},
        Case{"FILTER", {A(0, 2, {}), A(0, 1, {})}, V(Err(FormulaError::not_available()))}));

INSTANTIATE_TEST_SUITE_P(
    Sort, SucceedsTest,
    ::testing::Values(
        Case{"SORT", {Col({N(3), N(1), N(2)})}, Col({N(1), N(2), N(3)})},
        Case{"SORT", {Col({N(3), N(1), N(2)}), V(N(1)), V(B(false))}, Col({N(3), N(2), N(1)})},
        // TRUE and 1 compare equal and keep their input order.
        Case{"SORT",
             {Col({N(2), S("a"), B(true), E(), N(1)})},
             Col({B(true), N(1), N(2), S("a"), E()})},
        Case{"SORT",
             {Col({N(2), S("a"), B(true), E(), N(1)}), V(N(1)), V(N(0))},
             Col({E(), S("a"), N(2), B(true), N(1)})},
        Case{"SORT",
             {A(3, 2, {S("x"), N(2), S("y"), N(1), S("z"), N(2)}), V(S("2.7"))},
             A(3, 2, {S("y"), N(1), S("x"), N(2), S("z"), N(2)})},
        Case{"SORT",
             {A(3, 2, {S("x"), N(2), S("y"), N(1), S("z"), N(2)}), V(B(true)), V(N(kNaN))},
             A(3, 2, {S("x"), N(2), S("y"), N(1), S("z"), N(2)})},
        Case{"SORT", {Row({N(3), N(1)}), V(S("x"))}, Row({N(3), N(1)})},  // "x" means column 1
        Case{"SORT", {Col({N(2), N(kNaN), N(1)})}, Col({N(1), N(2), N(kNaN)})},
        Case{"SORT", {A(0, 1, {})}, A(0, 1, {})}));

INSTANTIATE_TEST_SUITE_P(
    Unique, SucceedsTest,
    ::testing::Values(
        Case{"UNIQUE", {Col({N(1), S("1"), N(1), B(true)})}, Col({N(1), S("1"), B(true)})},
        Case{"UNIQUE",
             {Col({N(0), N(-0.0), S("a"), S("A"), S("a"), E(), E()})},
             Col({N(0), S("a"), S("A"), E()})},
        Case{"UNIQUE", {Col({N(kNaN), N(kNaN)})}, Col({N(kNaN), N(kNaN)})},
        Case{"UNIQUE",
             {Col({Err(FormulaError::value()), Err(FormulaError::value("")),
                   Err(FormulaError::value()), Err(FormulaError::size())})},
             Col({Err(FormulaError::value()), Err(FormulaError::value("")),
                  Err(FormulaError::size())})},
        Case{"UNIQUE",
             {Col({C("t", "1"), C("u", "1"), C("t", "1")})},
             Col({C("t", "1"), C("u", "1")})},
        Case{"UNIQUE",
             {A(4, 2, {N(1), S("a"), N(1), S("b"), N(1), S("a"), N(2), S("a")})},
             A(3, 2, {N(1), S("a"), N(1), S("b"), N(2), S("a")})},
        Case{"UNIQUE", {Row({N(1), N(1)})}, Row({N(1), N(1)})}));

struct FailCase {
  const char* name;
  std::vector<ArrayValue> args;
  FormulaError want;
};

void PrintTo(const FailCase& c, std::ostream* os) {
  *os << c.name << " " << c.want.display();
}

class FailsTest : public ::testing::TestWithParam<FailCase> {};

TEST_P(FailsTest, Error) {
  const FailCase& c = GetParam();
  auto r = call_function(c.name, c.args, Registry());
  ASSERT_FALSE(r) << show(*r);
  EXPECT_EQ(r.error(), c.want) << r.error().display();
}

FormulaError value(const char* detail) {
  return FormulaError::value(std::string(detail));
}

INSTANTIATE_TEST_SUITE_P(
    All, FailsTest,
    ::testing::Values(
        FailCase{"NOPE", {}, FormulaError::name()},
        FailCase{"sum", {}, FormulaError::name()},  // built-in names are matched exactly
        FailCase{"IF",
                 {Row({B(true), B(false), B(true)}), Row({N(1), N(2)}), V(N(0))},
                 value("IF: incompatible cols")},
        FailCase{"IF",
                 {Col({B(true), B(false)}), V(N(1)), Col({N(1), N(2), N(3)})},
                 value("IF: incompatible rows")},
        FailCase{"IF", {A(0, 0, {}), V(N(1)), V(N(2))}, value("IF: incompatible rows")},
        // A long row stretched against a long column: refused before building anything.
        FailCase{
            "IF",
            {Row(std::vector<CellValue>(1000, B(true))), Col(std::vector<CellValue>(101)), V(N(0))},
            FormulaError::size("IF result exceeds 100000 cells")},
        FailCase{"SEQUENCE", {}, value("SEQUENCE: rows required")},
        FailCase{"SEQUENCE", {V(S("x"))}, value("SEQUENCE: rows required")},
        FailCase{"SEQUENCE", {A(0, 0, {})}, value("SEQUENCE: rows required")},
        FailCase{"SEQUENCE", {V(N(0))}, value("SEQUENCE: rows and cols must be >= 1")},
        FailCase{"SEQUENCE", {V(N(2)), V(N(0.5))}, value("SEQUENCE: rows and cols must be >= 1")},
        FailCase{"SEQUENCE",
                 {V(N(1000)), V(N(101))},
                 FormulaError::size("SEQUENCE exceeds 100000 cells")},
        FailCase{"SEQUENCE",
                 {V(N(1e300)), V(N(1e300))},
                 FormulaError::size("SEQUENCE exceeds 100000 cells")},
        FailCase{"TRANSPOSE", {}, value("TRANSPOSE: array required")},
        FailCase{"FILTER", {}, value("FILTER: array required")},
        FailCase{"FILTER", {Col({N(1)})}, value("FILTER: condition required")},
        FailCase{"FILTER",
                 {Col({N(1), N(2)}), Col({B(true)})},
                 value("FILTER: condition shape must match array or be a column vector")},
        FailCase{"FILTER",
                 {A(2, 3, std::vector<CellValue>(6)), A(2, 2, std::vector<CellValue>(4))},
                 value("FILTER: condition shape must match array or be a column vector")},
        FailCase{"SORT", {}, value("SORT: array required")},
        FailCase{"SORT",
                 {A(3, 2, std::vector<CellValue>(6)), V(N(3))},
                 value("SORT: sort_col out of range")},
        FailCase{"SORT", {Col({N(1)}), V(N(0.9))}, value("SORT: sort_col out of range")},
        FailCase{"SORT", {Col({N(1)}), V(N(-5))}, value("SORT: sort_col out of range")},
        FailCase{"SORT", {Col({N(1)}), V(B(false))}, value("SORT: sort_col out of range")},
        FailCase{"SORT", {A(2, 0, {})}, value("SORT: sort_col out of range")},
        FailCase{"UNIQUE", {}, value("UNIQUE: array required")}));

TEST(BuiltinsTest, TableOrderNamesAndCatalog) {
  const char* names[] = {"SUM",      "AVERAGE",   "MIN",    "MAX",  "COUNT", "ABS",
                         "ROUND",    "IF",        "CONCAT", "LEN",  "UPPER", "LOWER",
                         "SEQUENCE", "TRANSPOSE", "FILTER", "SORT", "UNIQUE"};
  ASSERT_EQ(BUILTINS.size(), std::size(names));
  for (size_t i = 0; i < BUILTINS.size(); ++i) {
    const BuiltinEntry& e = BUILTINS[i];
    EXPECT_EQ(e.name, names[i]);
    EXPECT_EQ(find_builtin(e.name), &e);
    // Fixed parameters and a variadic one exclude each other; every kind matches its mode.
    EXPECT_NE(e.params.empty(), e.variadic == nullptr) << e.name;
    EXPECT_EQ(e.eval.mode == EvalMode::Array, e.kind == BuiltinKind::ArrayReturning) << e.name;
    EXPECT_FALSE(e.examples.empty()) << e.name;
  }
  EXPECT_EQ(find_builtin("MEAN"), &BUILTINS[1]);
  EXPECT_EQ(find_builtin("AVG"), &BUILTINS[1]);
  EXPECT_EQ(find_builtin("Sum"), nullptr);
  EXPECT_EQ(BUILTINS[1].aliases.size(), 2u);
  EXPECT_EQ(BUILTINS[1].aliases[0], "MEAN");
  EXPECT_EQ(BUILTINS[0].variadic->name, "value");
  EXPECT_FALSE(BUILTINS[0].variadic->optional);
  EXPECT_TRUE(BUILTINS[6].params[1].optional);   // ROUND decimals
  EXPECT_FALSE(BUILTINS[7].params[0].optional);  // IF condition
  EXPECT_EQ(BUILTINS[12].examples[2].formula, "=SEQUENCE(3, 1, 10, 2)");
  EXPECT_EQ(BUILTINS[7].examples[0].result, "\"yes\" or \"no\"");
  EXPECT_EQ(BUILTINS[12].description,
            "Generates a rows\xC3\x97"
            "cols array of sequential numbers.");
}

// Records what it was called with; fails with `error` when it is set.
class Recorder : public CustomFunction {
 public:
  Recorder(std::string name, std::string error = {}) : name_(name), error_(error) {}
  std::string name() const override { return name_; }
  Result<CellValue, std::string> call(const std::vector<CellValue>& args) const override {
    seen = args;
    if (!error_.empty()) return fail(error_);
    return CellValue::number(double(args.size()));
  }
  mutable std::vector<CellValue> seen;

 private:
  std::string name_, error_;
};

TEST(BuiltinsTest, CustomFunctionsGetFlatArgumentsAndErrorTexts) {
  Registry r;
  auto myfn = std::make_shared<Recorder>("myfn");
  ASSERT_TRUE(r.register_function(myfn));
  ASSERT_TRUE(r.register_function(std::make_shared<Recorder>("na", "#N/A")));
  ASSERT_TRUE(r.register_function(std::make_shared<Recorder>("bad", "#VALUE!  unit")));
  ASSERT_TRUE(r.register_function(std::make_shared<Recorder>("boom", "it broke")));

  std::vector<ArrayValue> args = {A(2, 2, {N(1), N(2), N(3), N(4)}), V(Err(FormulaError::ref())),
                                  A(0, 1, {})};
  auto got = call_function("MYFN", args, r);
  ASSERT_TRUE(got);
  EXPECT_TRUE(SameArray(*got, V(N(5))));
  EXPECT_EQ(myfn->seen, (std::vector<CellValue>{N(1), N(2), N(3), N(4), Err(FormulaError::ref())}));

  struct {
    const char* name;
    FormulaError want;
  } errors[] = {{"NA", FormulaError::not_available()},
                {"BAD", FormulaError::value("unit")},
                {"BOOM", FormulaError::other("it broke")}};
  for (const auto& e : errors) {
    auto r2 = call_function(e.name, {}, r);
    ASSERT_FALSE(r2) << e.name;
    EXPECT_EQ(r2.error(), e.want) << e.name;
  }
  // Built-ins are still reached past the custom functions.
  auto sum = call_function("SUM", args, r);
  ASSERT_TRUE(sum);
  EXPECT_TRUE(SameArray(*sum, V(N(10))));
}

// Entries built here to reach what the shipped table never does: an element-wise
// implementation that fails, and kinds whose evaluation mode does not match.
Result<CellValue, FormulaError> fails_on_text(std::span<const CellValue> args, const Registry&) {
  if (args[0].is_string()) return fail(FormulaError::value("text"));
  return args[0];
}
Result<ArrayValue, FormulaError> whole(std::span<const ArrayValue>, const Registry&) {
  return ArrayValue::scalar(CellValue::number(7));
}

BuiltinEntry entry(BuiltinKind kind, BuiltinEval eval) {
  return {"TEST", {}, "Math", {}, nullptr, "", {}, kind, eval};
}

TEST(BuiltinsTest, ElementwiseErrorsBecomeValuesUnlessScalar) {
  auto e = entry(BuiltinKind::Elementwise, {EvalMode::Scalar, fails_on_text, nullptr});
  std::vector<ArrayValue> many = {Row({N(1), S("x")})};
  auto r = call_builtin(e, many, Registry());
  ASSERT_TRUE(r);
  EXPECT_TRUE(SameArray(*r, Row({N(1), Err(FormulaError::value("text"))})));
  std::vector<ArrayValue> one = {V(S("x"))};
  auto r1 = call_builtin(e, one, Registry());
  ASSERT_FALSE(r1);
  EXPECT_EQ(r1.error(), FormulaError::value("text"));
}

TEST(BuiltinsTest, KindAndModeMismatchIsReported) {
  struct {
    BuiltinKind kind;
    BuiltinEval eval;
    const char* text;
  } cases[] = {
      {BuiltinKind::Aggregate,
       {EvalMode::Array, nullptr, whole},
       "TEST: Aggregate requires Scalar eval"},
      {BuiltinKind::Elementwise,
       {EvalMode::Array, nullptr, whole},
       "TEST: Elementwise requires Scalar eval"},
      {BuiltinKind::ArrayReturning,
       {EvalMode::Scalar, fails_on_text, nullptr},
       "TEST: ArrayReturning requires Array eval"},
  };
  for (const auto& c : cases) {
    auto r = call_builtin(entry(c.kind, c.eval), {}, Registry());
    ASSERT_FALSE(r) << c.text;
    EXPECT_EQ(r.error(), FormulaError::other(c.text));
  }
}

TEST(BuiltinsTest, CompareCellValues) {
  struct Case {
    CellValue a, b;
    int want;  // -1 less, 0 equivalent, 1 greater
  } cases[] = {
      {N(1), N(2), -1},
      {B(false), B(true), -1},
      {B(true), N(1), 0},
      {B(false), N(0.5), -1},
      {N(kNaN), N(-5), 0},
      {N(kNaN), S("a"), -1},  // NaN is still a number
      {N(1e300), S(""), -1},
      {S("B"), S("a"), -1},  // bytes: upper case first
      {S("ab"), S("a"), 1},
      {S("\xC3\xA9"), S("z"), 1},  // unsigned bytes
      {S("z"), E(), -1},
      {E(), E(), 0},
      {E(), Err(FormulaError::div_zero()), -1},
      {Err(FormulaError::div_zero()), Err(FormulaError::name()), -1},  // "#D" < "#N"
      {Err(FormulaError::value()), Err(FormulaError::value("")), 0},   // same display
      {Err(FormulaError::other("zzz")), C("a", "a"), -1},
      {C("a", "z"), C("b", "a"), -1},
      {C("a", "b"), C("a", "a"), 1},
  };
  for (const auto& c : cases) {
    auto order = compare_cell_values(c.a, c.b);
    int got = order < 0 ? -1 : order > 0 ? 1 : 0;
    EXPECT_EQ(got, c.want) << c.a.display() << " vs " << c.b.display();
    auto back = compare_cell_values(c.b, c.a);
    EXPECT_EQ(back < 0 ? -1 : back > 0 ? 1 : 0, -c.want) << c.a.display();
  }
}

TEST(BuiltinsTest, LargeSortIsStableAndUniqueIsQuick) {
  // 50000 rows with five distinct keys: equal keys keep their input order (column 2 rises).
  const uint32_t n = 50000;
  std::vector<CellValue> data(2 * n);
  for (uint32_t i = 0; i < n; ++i) {
    data[2 * i] = N((i * 7) % 5);
    data[2 * i + 1] = N(i);
  }
  for (bool ascending : {true, false}) {
    std::vector<ArrayValue> args = {A(n, 2, data), V(N(1)), V(B(ascending))};
    auto r = call_function("SORT", args, Registry());
    ASSERT_TRUE(r);
    for (uint32_t i = 1; i < n; ++i) {
      double k0 = r->at(i - 1, 0).as_double(), k1 = r->at(i, 0).as_double();
      ASSERT_TRUE(ascending ? k0 <= k1 : k0 >= k1) << i;
      if (k0 == k1) {
        ASSERT_LT(r->at(i - 1, 1).as_double(), r->at(i, 1).as_double()) << i;
      }
    }
  }
  // NaN keys equal everything, which is no strict order; the sort still returns every row.
  std::vector<CellValue> nans;
  for (uint32_t i = 0; i < n; ++i) nans.push_back(i % 3 ? N(i % 11) : N(kNaN));
  auto sorted = call_function("SORT", std::vector{Col(nans)}, Registry());
  ASSERT_TRUE(sorted);
  EXPECT_EQ(sorted->rows, n);
  auto sum = [](const ArrayValue& a) {
    double s = 0;
    for (const auto& v : a.data) s += std::isnan(v.as_double()) ? 1000 : v.as_double();
    return s;
  };
  EXPECT_EQ(sum(*sorted), sum(Col(nans)));

  std::vector<CellValue> repeated;
  for (uint32_t i = 0; i < n; ++i) repeated.push_back(N(i % 100));
  auto u = call_function("UNIQUE", std::vector{Col(repeated)}, Registry());
  ASSERT_TRUE(u);
  EXPECT_EQ(u->rows, 100u);
  EXPECT_TRUE(same(u->at(99, 0), N(99)));
}

}  // namespace
}  // namespace tabrix
