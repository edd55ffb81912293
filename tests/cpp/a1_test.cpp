#include "core/a1.h"

#include <gtest/gtest.h>

#include "core/unicode.h"

namespace tabrix {
namespace {

TEST(Quoted, Escapes) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"", "\"\""},
      {"0", "\"0\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\t\r\n", "\"\\t\\r\\n\""},
      {std::string("\0", 1), "\"\\0\""},
      {"\x01\x7f", "\"\\u{1}\\u{7f}\""},
      {"e\u0301", "\"e\\u{301}\""},  // Grapheme_Extend
      {"\u00a0", "\"\\u{a0}\""},     // a separator other than space
      {"\u200b", "\"\\u{200b}\""},   // format character
      {"é ü", "\"é ü\""},
  };
  for (const auto& c : cases) EXPECT_EQ(quoted_form(c.in), c.out);
}

TEST(ColToIndex, Table) {
  struct Case {
    const char* text;
    std::optional<uint32_t> index;
  } cases[] = {
      {"A", 0},
      {"Z", 25},
      {"AA", 26},
      {"aa", 26},
      {"XFD", 16383},
      {"MWLQKWU", 4294967294u},
      {"", {}},
      {"$A", {}},
      {"A1", {}},
      {"MWLQKWV", {}},
      {"AAAAAAAAAAAAAAAAAAAAA", {}},
      {"É", {}},
  };
  for (const auto& c : cases) {
    auto r = range::col_to_index(c.text);
    ASSERT_EQ(r.ok(), c.index.has_value()) << c.text;
    if (r) {
      EXPECT_EQ(*r, *c.index);
    } else {
      EXPECT_EQ(r.error().display(), "InvalidColumn: " + quoted_form(c.text));
    }
  }
}

TEST(IndexToCol, Table) {
  EXPECT_EQ(range::index_to_col(0), "A");
  EXPECT_EQ(range::index_to_col(25), "Z");
  EXPECT_EQ(range::index_to_col(26), "AA");
  EXPECT_EQ(range::index_to_col(701), "ZZ");
  EXPECT_EQ(range::index_to_col(702), "AAA");
  EXPECT_EQ(range::index_to_col(4294967294u), "MWLQKWU");
  EXPECT_EQ(range::index_to_col(4294967295u), "MWLQKWU");
  EXPECT_EQ(range::format_cell_id(11, 1), "B12");
  EXPECT_EQ(range::cell_id(0, 26), "AA1");
}

std::string shown(const RangeResult<CellCoord>& r) {
  if (!r) return r.error().display();
  return std::to_string(r->row) + "," + std::to_string(r->col);
}

TEST(ParseCellId, Table) {
  struct Case {
    const char* text;
    std::string expected;
  } cases[] = {
      {" $b$12 ", "11,1"},
      {"A01", "0,0"},
      {"A4294967295", "4294967294,0"},
      {"", "Empty: range string is empty"},
      {" $ ", "Empty: range string is empty"},
      {"A", "UnknownShape: input does not match any supported range form"},
      {"7", "UnknownShape: input does not match any supported range form"},
      {"A1:B2", "UnknownShape: input does not match any supported range form"},
      {"A1B", "UnknownShape: input does not match any supported range form"},
      {"A0", "InvalidRow: \"0\""},
      {"A4294967296", "InvalidRow: \"4294967296\""},
      {"MWLQKWV1", "InvalidColumn: \"MWLQKWV\""},
  };
  for (const auto& c : cases) EXPECT_EQ(shown(range::parse_cell_id(c.text)), c.expected) << c.text;
}

std::string shown(const RangeResult<ParsedRange>& r) {
  if (!r) return r.error().display();
  std::string s = std::to_string(r->start.row) + "," + std::to_string(r->start.col) + ":" +
                  (r->end_row ? std::to_string(*r->end_row) : "-") + "," +
                  std::to_string(r->end_col) + " " + r->normalized;
  return s;
}

TEST(ParseRange, Table) {
  const std::string shape = "UnknownShape: input does not match any supported range form";
  struct Case {
    const char* text;
    std::string expected;
  } cases[] = {
      {"b5:a1", "0,0:4,1 B5:A1"},
      {" $A$1 : $C$3 ", "0,0:2,2 A1:C3"},
      {"A:C", "0,0:-,2 A:C"},
      {"C5:A", "4,0:-,2 C5:A"},
      {"A:C5", shape},
      {"A1", shape},
      {"A1:B2:C3", shape},
      {"A1:", shape},
      {":A1", shape},
      {"1:5", shape},
      {"A1B:C2", shape},
      {"", "Empty: range string is empty"},
      {"  $ ", "Empty: range string is empty"},
      {"A0:B1", "InvalidRow: \"0\""},
      {"A00:B1", "InvalidRow: \"00\""},
      {"A4294967296:B1", "InvalidRow: \"4294967296\""},
      {"A1:B0", "InvalidRow: \"0\""},
      {"MWLQKWV1:A1", "InvalidColumn: \"MWLQKWV\""},
  };
  for (const auto& c : cases) EXPECT_EQ(shown(range::parse_range(c.text)), c.expected) << c.text;

  EXPECT_TRUE(range::is_unbounded_range("A:A"));
  EXPECT_TRUE(range::is_unbounded_range("A2:B"));
  EXPECT_FALSE(range::is_unbounded_range("A1:B2"));
  EXPECT_FALSE(range::is_unbounded_range("nonsense"));
}

}  // namespace
}  // namespace tabrix
