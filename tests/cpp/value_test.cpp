#include "core/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tabrix {
namespace {

TEST(NumberText, Table) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double x;
    std::string text;
  } cases[] = {
      {0, "0"},
      {-0.0, "-0"},
      {1.5, "1.5"},
      {-2, "-2"},
      {100, "100"},
      {3.25, "3.25"},
      {1e21, "1000000000000000000000"},
      {1e-7, "0.0000001"},
      {0.1 + 0.2, "0.30000000000000004"},
      {1.0 / 3, "0.3333333333333333"},
      {9007199254740993.0, "9007199254740992"},
      {std::nan(""), "NaN"},
      {inf, "inf"},
      {-inf, "-inf"},
      {1e300, "1" + std::string(300, '0')},
      {5e-324, "0." + std::string(323, '0') + "5"},
      {123456.789, "123456.789"},
  };
  for (const auto& c : cases) EXPECT_EQ(number_text(c.x), c.text) << c.x;
}

TEST(ParseNumber, Grammar) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* text;
    std::optional<double> value;
  } cases[] = {
      {"1e3", 1000},       {"+.5", 0.5},   {"5.", 5},        {"-5.25", -5.25}, {"INF", inf},
      {"-Infinity", -inf}, {"1e400", inf}, {"-1e400", -inf}, {"1e-400", 0},    {"2E+2", 200},
      {" 1", {}},          {"1 ", {}},     {"1,", {}},       {"", {}},         {".", {}},
      {"+", {}},           {"1e", {}},     {"1e+", {}},      {"0x10", {}},     {"1_000", {}},
      {"e5", {}},          {"infx", {}},   {"--1", {}},      {"1.2.3", {}},
  };
  for (const auto& c : cases) {
    auto got = parse_number(c.text);
    ASSERT_EQ(got.has_value(), c.value.has_value()) << c.text;
    if (got) {
      EXPECT_EQ(*got, *c.value) << c.text;
    }
  }
  auto nan = parse_number("-nan");
  ASSERT_TRUE(nan && std::isnan(*nan));
  EXPECT_TRUE(std::signbit(*parse_number("-1e-400")));
}

TEST(CellValue, AsNumberAndDisplay) {
  EXPECT_EQ(CellValue::boolean(true).as_number(), 1.0);
  EXPECT_EQ(CellValue::boolean(false).as_number(), 0.0);
  EXPECT_EQ(CellValue::string("2.5").as_number(), 2.5);
  EXPECT_FALSE(CellValue::empty().as_number());
  EXPECT_FALSE(CellValue::error(FormulaError::ref()).as_number());
  EXPECT_FALSE(CellValue::custom("t", "1").as_number());

  EXPECT_EQ(CellValue::boolean(true).display(), "TRUE");
  EXPECT_EQ(CellValue::empty().display(), "");
  EXPECT_EQ(CellValue::custom("t", "data").display(), "data");
  EXPECT_EQ(CellValue::error(FormulaError::value("x")).display(), "#VALUE! x");
}

TEST(FormulaError, DisplayAndFromText) {
  using K = FormulaError::Kind;
  struct Case {
    const char* text;
    FormulaError error;
  } cases[] = {
      {"#DIV/0!", {K::DivZero, {}}},
      {"#REF!", {K::Ref, {}}},
      {"#NAME?", {K::Name, {}}},
      {"#SPILL!", {K::Spill, {}}},
      {"#LOADING!", {K::Loading, {}}},
      {"#N/A", {K::NotAvailable, {}}},
      {"#VALUE!", {K::Value, {}}},
      {"#SIZE!", {K::Size, {}}},
      {"#CIRCULAR!", {K::Circular, {}}},
      {"#CIRCULAR!  ", {K::Circular, {}}},
      {"#CIRCULAR!\u3000", {K::Circular, {}}},
      {"#VALUE!   x", {K::Value, "x"}},
      {"#VALUE!x", {K::Value, "x"}},
      {"#VALUE! ", {K::Value, ""}},
      {"#SIZE!\u00a0big", {K::Size, "big"}},
      {"#CIRCULAR! Cycle detected involving: A1, B1",
       {K::Other, "#CIRCULAR! Cycle detected involving: A1, B1"}},
      {"#div/0!", {K::Other, "#div/0!"}},
      {"#N/A ", {K::Other, "#N/A "}},
      {"", {K::Other, ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(FormulaError::from_text(c.text), c.error) << c.text;

  // Every display text reads back to the same display text.
  for (const auto& c : cases) {
    std::string shown = c.error.display();
    EXPECT_EQ(FormulaError::from_text(shown).display(), shown);
  }
  EXPECT_EQ(FormulaError::value("").display(), "#VALUE!");
  EXPECT_EQ(FormulaError::size("too big").display(), "#SIZE! too big");
}

TEST(SheetError, Display) {
  EXPECT_EQ(SheetError::cycle({"A1", "B2"}).display(),
            "#CIRCULAR! Cycle detected involving: A1, B2");
  EXPECT_EQ(SheetError::cycle({}).display(), "#CIRCULAR! Cycle detected involving: ");
  EXPECT_EQ(SheetError::bad_name("Name must not be empty").display(), "Name must not be empty");
}

TEST(ArrayValue, ScalarAndFirst) {
  ArrayValue a = ArrayValue::scalar(CellValue::number(4));
  EXPECT_EQ(a.rows, 1u);
  EXPECT_EQ(a.cols, 1u);
  EXPECT_EQ(a.first(), CellValue::number(4));
  EXPECT_EQ(ArrayValue(0, 3, {}).first(), CellValue::empty());
  EXPECT_DEATH(ArrayValue(2, 2, {CellValue()}), "shape/data mismatch");
}

TEST(Types, IndexToColAndCellId) {
  EXPECT_EQ(types::index_to_col(0), "");
  EXPECT_EQ(types::index_to_col(1), "A");
  EXPECT_EQ(types::index_to_col(26), "Z");
  EXPECT_EQ(types::index_to_col(27), "AA");
  EXPECT_EQ(types::index_to_col(702), "ZZ");
  EXPECT_EQ(types::index_to_col(703), "AAA");
  EXPECT_EQ(types::index_to_col(18278), "ZZZ");
  EXPECT_EQ(types::cell_id("B", 12), "B12");
}

}  // namespace
}  // namespace tabrix
