#include "core/lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tabrix {
namespace {

using T = TokenType;

// A compact expected token: type, value, position, length.
struct Tok {
  T type;
  std::string value;
  size_t position;
  size_t length;
};

std::string describe(const std::vector<Token>& tokens) {
  std::string out;
  for (const Token& t : tokens)
    out += std::string(token_type_name(t.token_type)) + "(" + t.value + ")@" +
           std::to_string(t.position) + "+" + std::to_string(t.length) + " ";
  return out;
}

void expect_tokens(const std::string& input, const std::vector<Tok>& want) {
  auto got = Lexer(input).tokenize();
  ASSERT_TRUE(got.ok()) << input << ": " << got.error();
  std::vector<Token> expected;
  for (const Tok& t : want) expected.push_back(Token{t.value, t.position, t.length, t.type});
  EXPECT_EQ(*got, expected) << input << "\n got: " << describe(*got);
}

struct TokenCase {
  std::string input;
  std::vector<Tok> tokens;  // including the trailing Eof
};

TEST(Lexer, TokenLists) {
  const TokenCase cases[] = {
      {"SUM(A1:B2)",
       {{T::Function, "SUM", 0, 3},
        {T::LParen, "(", 3, 1},
        {T::CellRef, "A1", 4, 2},
        {T::Colon, ":", 6, 1},
        {T::CellRef, "B2", 7, 2},
        {T::RParen, ")", 9, 1},
        {T::Eof, "", 10, 0}}},
      // "$" markers are dropped from cell references but counted in the length.
      {"$a$1", {{T::CellRef, "A1", 0, 4}, {T::Eof, "", 4, 0}}},
      {"a$1", {{T::CellRef, "A1", 0, 3}, {T::Eof, "", 3, 0}}},
      {"$B12", {{T::CellRef, "B12", 0, 4}, {T::Eof, "", 4, 0}}},
      {"true", {{T::Boolean, "TRUE", 0, 4}, {T::Eof, "", 4, 0}}},
      {"False", {{T::Boolean, "FALSE", 0, 5}, {T::Eof, "", 5, 0}}},
      {"$TRUE", {{T::Function, "TRUE", 0, 5}, {T::Eof, "", 5, 0}}},
      {"TRUEX", {{T::Function, "TRUEX", 0, 5}, {T::Eof, "", 5, 0}}},
      {"A1B", {{T::Function, "A1B", 0, 3}, {T::Eof, "", 3, 0}}},
      {"my_rate", {{T::Function, "MY_RATE", 0, 7}, {T::Eof, "", 7, 0}}},
      {"TAX2024B", {{T::Function, "TAX2024B", 0, 8}, {T::Eof, "", 8, 0}}},
      {"LOG10", {{T::CellRef, "LOG10", 0, 5}, {T::Eof, "", 5, 0}}},
      {"$b", {{T::Function, "B", 0, 2}, {T::Eof, "", 2, 0}}},
      // A "$" not followed by a digit is not a row marker: "A" then "$B".
      {"A$B", {{T::Function, "A", 0, 1}, {T::Function, "B", 1, 2}, {T::Eof, "", 3, 0}}},
      {"$5", {{T::Number, "5", 0, 2}, {T::Eof, "", 2, 0}}},
      {".5", {{T::Number, ".5", 0, 2}, {T::Eof, "", 2, 0}}},
      {"1.", {{T::Number, "1.", 0, 2}, {T::Eof, "", 2, 0}}},
      {"1.2.3", {{T::Number, "1.2", 0, 3}, {T::Number, ".3", 3, 2}, {T::Eof, "", 5, 0}}},
      // No exponents: 1 followed by the reference E5.
      {"1e5", {{T::Number, "1", 0, 1}, {T::CellRef, "E5", 1, 2}, {T::Eof, "", 3, 0}}},
      {"'it''s'", {{T::String, "it", 0, 4}, {T::String, "s", 4, 3}, {T::Eof, "", 7, 0}}},
      {"\"it's\"", {{T::String, "it's", 0, 6}, {T::Eof, "", 6, 0}}},
      {"'say \"hi\"'", {{T::String, "say \"hi\"", 0, 10}, {T::Eof, "", 10, 0}}},
      {"\"\"", {{T::String, "", 0, 2}, {T::Eof, "", 2, 0}}},
      // Positions count code points: "é" and "日本" are one position each.
      {"\"é\"&\"日本\"&A1",
       {{T::String, "é", 0, 3},
        {T::Operator, "&", 3, 1},
        {T::String, "日本", 4, 4},
        {T::Operator, "&", 8, 1},
        {T::CellRef, "A1", 9, 2},
        {T::Eof, "", 11, 0}}},
      {"<>", {{T::Operator, "<>", 0, 2}, {T::Eof, "", 2, 0}}},
      {"<=>=", {{T::Operator, "<=", 0, 2}, {T::Operator, ">=", 2, 2}, {T::Eof, "", 4, 0}}},
      {"=<", {{T::Operator, "=", 0, 1}, {T::Operator, "<", 1, 1}, {T::Eof, "", 2, 0}}},
      {"==", {{T::Operator, "=", 0, 1}, {T::Operator, "=", 1, 1}, {T::Eof, "", 2, 0}}},
      {"><", {{T::Operator, ">", 0, 1}, {T::Operator, "<", 1, 1}, {T::Eof, "", 2, 0}}},
      {"%&*+-/^",
       {{T::Operator, "%", 0, 1},
        {T::Operator, "&", 1, 1},
        {T::Operator, "*", 2, 1},
        {T::Operator, "+", 3, 1},
        {T::Operator, "-", 4, 1},
        {T::Operator, "/", 5, 1},
        {T::Operator, "^", 6, 1},
        {T::Eof, "", 7, 0}}},
      {"{1,2;3}#",
       {{T::LBrace, "{", 0, 1},
        {T::Number, "1", 1, 1},
        {T::Comma, ",", 2, 1},
        {T::Number, "2", 3, 1},
        {T::Semicolon, ";", 4, 1},
        {T::Number, "3", 5, 1},
        {T::RBrace, "}", 6, 1},
        {T::Hash, "#", 7, 1},
        {T::Eof, "", 8, 0}}},
      // The five white-space characters separate tokens and are skipped.
      {" \t1\n\r\f+ 2 ",
       {{T::Number, "1", 2, 1},
        {T::Operator, "+", 6, 1},
        {T::Number, "2", 8, 1},
        {T::Eof, "", 10, 0}}},
      {"", {{T::Eof, "", 0, 0}}},
  };
  for (const auto& c : cases) expect_tokens(c.input, c.tokens);
}

TEST(Lexer, Errors) {
  const std::pair<std::string, std::string> cases[] = {
      {"$A1B", "Unexpected character: $ at position 0"},  // marker with a tail
      {"A$1_", "Unexpected character: $ at position 0"},  // row marker with a tail
      {"1+$A$1X", "Unexpected character: $ at position 2"},
      {"$", "Unexpected character: $ at position 0"},
      {"$_", "Unexpected character: $ at position 0"},
      {"_x", "Unexpected character: _ at position 0"},
      {"A\vB", "Unexpected character: \v at position 1"},  // vertical tab is no white space
      {"1 ! 2", "Unexpected character: ! at position 2"},
      {"\"é\"+é", "Unexpected character: é at position 4"},  // position in code points
      {"'abc", "Unterminated string"},
      {"\"it's", "Unterminated string"},
      {"1 + ?", "Unexpected character: ? at position 4"},
  };
  for (const auto& [input, message] : cases) {
    auto got = Lexer(input).tokenize();
    ASSERT_FALSE(got.ok()) << input;
    EXPECT_EQ(got.error(), message) << input;
  }
}

TEST(Lexer, NextTokenStopsAtEnd) {
  Lexer lexer("  A1 ");
  auto first = lexer.next_token();
  ASSERT_TRUE(first.ok() && first->has_value());
  EXPECT_EQ((*first)->value, "A1");
  auto end = lexer.next_token();
  ASSERT_TRUE(end.ok());
  EXPECT_FALSE(end->has_value());
  EXPECT_EQ(lexer.position(), 5u);
}

TEST(Lexer, TokenizePartial) {
  struct Case {
    std::string input;
    std::vector<std::string> values;
    std::optional<size_t> error_position;
  };
  const Case cases[] = {
      {"1 + ?", {"1", "+"}, 4},
      {"  ", {}, std::nullopt},
      {"SUM(A1", {"SUM", "(", "A1"}, std::nullopt},
      {"A1 & 'unfinished", {"A1", "&"}, 5},
      {"  $", {}, 2},
  };
  for (const auto& c : cases) {
    PartialTokens got = Lexer(c.input).tokenize_partial();
    std::vector<std::string> values;
    for (const Token& t : got.tokens) values.push_back(t.value);
    EXPECT_EQ(values, c.values) << c.input;
    EXPECT_EQ(got.error_position, c.error_position) << c.input;
  }
}

TEST(Lexer, TypeNames) {
  EXPECT_EQ(token_type_name(T::Number), "Number");
  EXPECT_EQ(token_type_name(T::Semicolon), "Semicolon");
  EXPECT_EQ(token_type_name(T::Eof), "Eof");
}

}  // namespace
}  // namespace tabrix
