#include "core/registry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace tabrix {
namespace {

// A handler whose values are Custom(tag, data). It claims texts that start with `prefix`,
// shows values as "<tag:data>", reads `data` as a number, and optionally answers every
// binary_op pair with `op_answer`.
class TestHandler : public CustomTypeHandler {
 public:
  TestHandler(std::string tag, std::string prefix = {}, BinaryOpAnswer op_answer = {})
      : tag_(std::move(tag)), prefix_(std::move(prefix)), op_answer_(std::move(op_answer)) {}
  std::string type_tag() const override { return tag_; }
  std::optional<CustomValue> parse_literal(std::string_view text) const override {
    if (prefix_.empty() || !text.starts_with(prefix_)) return std::nullopt;
    return CustomValue{tag_, std::string(text)};
  }
  std::string display(const CellValue& v) const override {
    return "<" + tag_ + ":" + v.as_custom().data + ">";
  }
  std::string edit_repr(const CellValue& v) const override { return v.as_custom().data; }
  BinaryOpAnswer binary_op(BinaryOperator, const CellValue&, const CellValue&) const override {
    return op_answer_;
  }
  CompareAnswer compare(ComparisonOperator op, const CellValue& l,
                        const CellValue& r) const override {
    if (!l.is_custom() || l.as_custom().type_tag != tag_) return std::nullopt;
    if (op == ComparisonOperator::Lt) return fail(std::string("#VALUE! no order"));
    return l == r;
  }
  std::optional<double> as_number(const CellValue& v) const override {
    return parse_number(v.as_custom().data);
  }

 private:
  std::string tag_, prefix_;
  BinaryOpAnswer op_answer_;
};

// A handler that supplies only the required operations, to observe the defaults.
class MinimalHandler : public CustomTypeHandler {
 public:
  std::string type_tag() const override { return "minimal"; }
  std::string display(const CellValue&) const override { return "shown"; }
  std::string edit_repr(const CellValue&) const override { return "edited"; }
  CompareAnswer compare(ComparisonOperator, const CellValue&, const CellValue&) const override {
    return std::nullopt;
  }
};

class TestFunction : public CustomFunction {
 public:
  explicit TestFunction(std::string name) : name_(std::move(name)) {}
  std::string name() const override { return name_; }
  Result<CellValue, std::string> call(const std::vector<CellValue>&) const override {
    return CellValue::string(name_);
  }

 private:
  std::string name_;
};

std::shared_ptr<TestFunction> fn(std::string name) {
  return std::make_shared<TestFunction>(std::move(name));
}

TEST(RegistryTest, OperatorCodesAndTexts) {
  struct Case {
    BinaryOperator op;
    int code;
    std::string_view text;
  };
  for (auto [op, code, text] : {Case{BinaryOperator::Add, 0, "+"},
                                {BinaryOperator::Sub, 1, "-"},
                                {BinaryOperator::Mul, 2, "*"},
                                {BinaryOperator::Div, 3, "/"},
                                {BinaryOperator::Pow, 4, "^"},
                                {BinaryOperator::Mod, 5, "%"},
                                {BinaryOperator::Concat, 6, "&"}}) {
    EXPECT_EQ(int(op), code);
    EXPECT_EQ(operator_text(op), text);
  }
  struct CmpCase {
    ComparisonOperator op;
    int code;
    std::string_view text;
  };
  for (auto [op, code, text] : {CmpCase{ComparisonOperator::Eq, 0, "="},
                                {ComparisonOperator::Ne, 1, "<>"},
                                {ComparisonOperator::Lt, 2, "<"},
                                {ComparisonOperator::Le, 3, "<="},
                                {ComparisonOperator::Gt, 4, ">"},
                                {ComparisonOperator::Ge, 5, ">="}}) {
    EXPECT_EQ(int(op), code);
    EXPECT_EQ(operator_text(op), text);
  }
}

TEST(RegistryTest, TypeTagsAreDistinctAndCaseSensitive) {
  Registry r;
  EXPECT_TRUE(r.register_type(std::make_shared<TestHandler>("money")));
  EXPECT_TRUE(r.register_type(std::make_shared<TestHandler>("Money")));
  EXPECT_TRUE(r.register_type(std::make_shared<TestHandler>("")));  // not validated here
  auto dup = std::make_shared<TestHandler>("money");
  auto status = r.register_type(dup);
  ASSERT_FALSE(status);
  EXPECT_EQ(status.error().kind, RegistryError::Kind::DuplicateTypeTag);
  EXPECT_EQ(status.error().display(), "custom type tag already registered: money");
  EXPECT_EQ(r.types().size(), 3u);
  EXPECT_EQ(dup.use_count(), 1);  // the refused handler is not kept
}

TEST(RegistryTest, FunctionNameCollisions) {
  struct Case {
    std::string name;
    bool collides;
  } cases[] = {
      {"sum", true},
      {"Avg", true},
      {"mean", true},        // built-in names and aliases
      {"\xC5\xBFum", true},  // "ſum": upper-cases to SUM
      {"sum2", false},
      {"myfn", false},
      {"MYFN", true},    // equal to myfn ignoring ASCII case
      {"my_fn", false},  // a different name
      {"\xC3\xBF"
       "fn",
       false},  // "ÿfn"
      {"\xC5\xB8"
       "FN",
       false},  // "ŸFN": only ASCII case is folded between customs
  };
  Registry r;
  for (const auto& c : cases) {
    auto f = fn(c.name);
    auto status = r.register_function(f);
    EXPECT_EQ(!status, c.collides) << c.name;
    if (!status) {
      EXPECT_EQ(status.error().kind, RegistryError::Kind::FunctionNameCollision);
      EXPECT_EQ(status.error().display(), "custom function name collides with existing: " + c.name);
      EXPECT_EQ(f.use_count(), 1) << c.name;
    }
  }
  EXPECT_EQ(r.function_names(), (std::vector<std::string>{"sum2", "myfn", "my_fn",
                                                          "\xC3\xBF"
                                                          "fn",
                                                          "\xC5\xB8"
                                                          "FN"}));
}

TEST(RegistryTest, FindFunctionIgnoresAsciiCase) {
  Registry r;
  ASSERT_TRUE(r.register_function(fn("myFn")));
  ASSERT_TRUE(r.register_function(fn("other")));
  EXPECT_EQ(r.find_function("MYFN"), r.functions()[0].get());
  EXPECT_EQ(r.find_function("Other"), r.functions()[1].get());
  EXPECT_EQ(r.find_function("MYF"), nullptr);
  EXPECT_EQ(r.find_function("myfnx"), nullptr);
}

TEST(RegistryTest, ParseLiteralFirstHandlerWins) {
  Registry r;
  EXPECT_EQ(r.parse_literal("12:00"), std::nullopt);
  ASSERT_TRUE(r.register_type(std::make_shared<MinimalHandler>()));  // declines by default
  ASSERT_TRUE(r.register_type(std::make_shared<TestHandler>("first", "12")));
  ASSERT_TRUE(r.register_type(std::make_shared<TestHandler>("second", "1")));
  EXPECT_EQ(r.parse_literal("12:00"), CellValue::custom("first", "12:00"));
  EXPECT_EQ(r.parse_literal("1:00"), CellValue::custom("second", "1:00"));
  EXPECT_EQ(r.parse_literal(""), std::nullopt);
}

TEST(RegistryTest, HandlerDefaults) {
  MinimalHandler h;
  CellValue v = CellValue::custom("minimal", "x");
  EXPECT_EQ(h.parse_literal("x"), std::nullopt);
  EXPECT_EQ(h.parse_with("x", "opts"), std::nullopt);
  EXPECT_EQ(h.binary_op(BinaryOperator::Add, v, v), std::nullopt);
  EXPECT_EQ(h.as_number(v), std::nullopt);
  // parse_with answers what parse_literal answers, ignoring the options.
  TestHandler t("t", "a");
  EXPECT_EQ(t.parse_with("abc", "ignored"), (CustomValue{"t", "abc"}));
  EXPECT_EQ(t.parse_with("xbc", "ignored"), std::nullopt);
}

TEST(RegistryTest, RenderAndCoerceNumber) {
  Registry r;
  ASSERT_TRUE(r.register_type(std::make_shared<TestHandler>("money")));
  ASSERT_TRUE(r.register_type(std::make_shared<MinimalHandler>()));
  const double inf = INFINITY;
  struct Case {
    CellValue value;
    std::string text;
    std::optional<double> number;
  } cases[] = {
      {CellValue::number(1.5), "1.5", 1.5},
      {CellValue::number(-0.0), "-0", -0.0},
      {CellValue::string("1e3"), "1e3", 1000.0},
      {CellValue::string(" 1"), " 1", std::nullopt},  // untrimmed
      {CellValue::string("inf"), "inf", inf},
      {CellValue::string("x"), "x", std::nullopt},
      {CellValue::boolean(true), "TRUE", 1.0},
      {CellValue::boolean(false), "FALSE", 0.0},
      {CellValue(), "", std::nullopt},
      {CellValue::error(FormulaError::value("bad")), "#VALUE! bad", std::nullopt},
      {CellValue::custom("money", "12.5"), "<money:12.5>", 12.5},
      {CellValue::custom("money", "abc"), "<money:abc>", std::nullopt},
      {CellValue::custom("minimal", "7"), "shown", std::nullopt},  // default as_number
      {CellValue::custom("unknown", "7"), "7", std::nullopt},      // no handler: data, no number
      {CellValue::custom("Money", "7"), "7", std::nullopt},        // tags are case-sensitive
  };
  for (const auto& c : cases) {
    EXPECT_EQ(r.render(c.value), c.text) << c.text;
    auto n = r.coerce_number(c.value);
    EXPECT_EQ(n, c.number) << c.text;
    if (n && c.number) {
      EXPECT_EQ(std::signbit(*n), std::signbit(*c.number)) << c.text;
    }
  }
  std::string out = "a";
  r.append_render(out, CellValue::custom("money", "1"));
  EXPECT_EQ(out, "a<money:1>");
}

TEST(RegistryTest, OperatorsAskHandlersInOrder) {
  Registry r;
  CellValue a = CellValue::custom("a", "1"), b = CellValue::custom("b", "1");
  EXPECT_EQ(r.binary_op(BinaryOperator::Add, a, CellValue::number(1)), std::nullopt);
  ASSERT_TRUE(r.register_type(std::make_shared<MinimalHandler>()));
  ASSERT_TRUE(r.register_type(std::make_shared<TestHandler>("a", "", CellValue::string("a op"))));
  ASSERT_TRUE(r.register_type(std::make_shared<TestHandler>("b", "", CellValue::string("b op"))));
  // The first answering handler decides, even for a value of another type.
  auto answer = r.binary_op(BinaryOperator::Add, b, CellValue::number(1));
  ASSERT_TRUE(answer && *answer);
  EXPECT_EQ(**answer, CellValue::string("a op"));

  auto eq = r.compare(ComparisonOperator::Eq, b, b);  // only handler b claims b on the left
  ASSERT_TRUE(eq && *eq);
  EXPECT_TRUE(**eq);
  auto lt = r.compare(ComparisonOperator::Lt, a, a);
  ASSERT_TRUE(lt && !*lt);
  EXPECT_EQ(lt->error(), "#VALUE! no order");
  EXPECT_EQ(r.compare(ComparisonOperator::Eq, CellValue::custom("c", ""), a), std::nullopt);
}

TEST(RegistryTest, CopiesShareObjectsAndGrowApart) {
  Registry r;
  auto h = std::make_shared<TestHandler>("t");
  auto f = fn("f");
  ASSERT_TRUE(r.register_type(h));
  ASSERT_TRUE(r.register_function(f));
  Registry copy = r;
  EXPECT_EQ(copy.types()[0].get(), h.get());
  EXPECT_EQ(f.use_count(), 3);
  ASSERT_TRUE(copy.register_function(fn("g")));
  EXPECT_EQ(r.functions().size(), 1u);
  EXPECT_EQ(copy.functions().size(), 2u);
  EXPECT_EQ(r.find_function("G"), nullptr);
}

TEST(RegistryTest, IntoFunctionsKeepsOrderAndReleasesHandlers) {
  Registry r;
  auto h = std::make_shared<TestHandler>("t");
  ASSERT_TRUE(r.register_type(h));
  for (const char* name : {"c", "a", "b"}) ASSERT_TRUE(r.register_function(fn(name)));
  auto list = std::move(r).into_functions();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0]->name(), "c");
  EXPECT_EQ(list[1]->name(), "a");
  EXPECT_EQ(list[2]->name(), "b");
  EXPECT_EQ(h.use_count(), 1);
}

}  // namespace
}  // namespace tabrix
