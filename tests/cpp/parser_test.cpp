#include "core/parser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace tabrix {
namespace {

std::string shape(std::string_view formula) {
  auto tree = Parser::parse(formula);
  if (!tree) return "error: " + tree.error();
  return to_prefix_text(*tree);
}

// Trees in the prefix form of `to_prefix_text`; errors as "error: <text>".
TEST(Parser, Shapes) {
  const std::pair<std::string, std::string> cases[] = {
      // Precedence and associativity.
      {"=1+2*3", "(+ 1 (* 2 3))"},
      {"=(1+2)*3", "(* (+ 1 2) 3)"},
      {"=1-2-3", "(- (- 1 2) 3)"},
      {"=-2^2", "(^ (neg 2) 2)"},
      {"=2^3^2", "(^ (^ 2 3) 2)"},
      {"=2^-1", "(^ 2 (neg 1))"},
      {"=--+1", "(neg (neg (pos 1)))"},
      {"=1<2=TRUE", "(= (< 1 2) TRUE)"},
      {"=1<2<3", "(< (< 1 2) 3)"},
      {"=1+2&3", "(& (+ 1 2) 3)"},
      {"=1&2=3&4", "(= (& 1 2) (& 3 4))"},
      {"=7%2*3", "(* (% 7 2) 3)"},
      {"=1<>2", "(<> 1 2)"},
      {"=1<=2", "(<= 1 2)"},
      {"=1>=2", "(>= 1 2)"},
      {"=1>2", "(> 1 2)"},
      // Literals.
      {"=.5", "0.5"},
      {"=$7", "7"},
      {"=1.", "1"},
      {"='abc'", "\"abc\""},
      {"=\"x\"&'y'", "(& \"x\" \"y\")"},
      {"=true", "TRUE"},
      {"1+2", "(+ 1 2)"},  // the leading "=" is optional
      // References.
      {"=A1:B2", "A1:B2"},
      {"=B2:A1", "B2:A1"},
      {"=$a$1:b$2", "A1:B2"},
      {"=A1#", "A1#"},
      {"=a:c", "A:C"},
      {"=$B:$B", "B:B"},
      {"=$1:$3", "1:3"},
      {"=5:2", "5:2"},
      {"=A0", "A0"},
      {"=A01", "A1"},
      {"=my_rate*2", "(* name:MY_RATE 2)"},
      {"=$TRUE", "name:TRUE"},
      // Calls and arrays.
      {"=SUM()", "(SUM)"},
      {"=sum(A1:A3, 4)", "(SUM A1:A3 4)"},
      {"=IF(A1>0,\"pos\",-A1)", "(IF (> A1 0) \"pos\" (neg A1))"},
      {"={1,2;3,4}", "{1 2; 3 4}"},
      {"={1+1}", "{(+ 1 1)}"},
      {"={SUM(1,2),-3}", "{(SUM 1 2) (neg 3)}"},
  };
  for (const auto& [formula, want] : cases) EXPECT_EQ(shape(formula), want) << formula;
}

TEST(Parser, Errors) {
  const std::pair<std::string, std::string> cases[] = {
      {"=", "Unexpected token: Eof ()"},
      {"=)", "Unexpected token: RParen ())"},
      {"=*1", "Unexpected token: Operator (*)"},
      {"=1 2", "Unexpected token: 2"},
      {"=(1", "Expected RParen but got Eof"},
      {"=SUM(1", "Expected RParen but got Eof"},
      {"=SUM(1,)", "Unexpected token: RParen ())"},
      {"=SUM(1;2)", "Expected RParen but got Semicolon"},
      {"=A:1", "Unexpected token: :"},  // A is a name, the colon is left over
      {"=A1:B", "Expected CellRef but got Function"},
      {"=A1:", "Expected CellRef but got Eof"},
      {"=A:B_C", "Invalid column range end: B_C"},
      {"=1.5:3", "Invalid row number: 1.5"},
      {"=1:3.5", "Invalid row number: 3.5"},
      {"=1:99999999999", "Invalid row number: 99999999999"},
      {"=A99999999999", "Invalid cell reference: A99999999999"},
      {"=A1:B99999999999", "Invalid cell reference: B99999999999"},
      {"=A1:B2#", "Unexpected token: #"},
      {"={}", "Array literal must contain at least one element"},
      {"={1,2;3}", "Array literal rows have inconsistent widths (row 1 has 1, row 0 has 2)"},
      {"={1;2;3,4}", "Array literal rows have inconsistent widths (row 2 has 2, row 0 has 1)"},
      {"={1 2}", "Expected `,`, `;`, or `}` in array literal; got 2"},
      {"={1", "Expected `,`, `;`, or `}` in array literal; got "},
      {"={1;}", "Unexpected token: RBrace (})"},
      {"=1e5", "Unexpected token: E5"},
      {"=1+'x", "Unterminated string"},  // lexer errors pass through unchanged
      {"==1", "Unexpected token: Operator (=)"},
      {"=$A1B", "Unexpected character: $ at position 0"},  // positions exclude the "="
  };
  for (const auto& [formula, want] : cases) EXPECT_EQ(shape(formula), "error: " + want) << formula;
}

TEST(Parser, NodeFields) {
  auto tree = Parser::parse("=B5:a1");
  ASSERT_TRUE(tree.ok());
  const auto* r = tree->get_if<AstNode::Range>();
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->start_col, "B");
  EXPECT_EQ(r->start_row, 5u);
  EXPECT_EQ(r->end_col, "A");
  EXPECT_EQ(r->end_row, 1u);

  auto cmp = Parser::parse("=1>=2");
  ASSERT_TRUE(cmp.ok());
  ASSERT_EQ(cmp->kind(), AstNode::Kind::Compare);
  EXPECT_EQ(cmp->get_if<AstNode::Compare>()->op, ComparisonOperator::Ge);

  auto big = Parser::parse("=A4294967295");
  ASSERT_TRUE(big.ok());
  EXPECT_EQ(big->get_if<AstNode::CellRef>()->row, 4294967295u);
}

TEST(Parser, Consume) {
  Parser p(*Lexer("1)").tokenize());
  auto wrong = p.consume(TokenType::String);
  ASSERT_FALSE(wrong.ok());
  EXPECT_EQ(wrong.error(), "Expected String but got Number");
  auto number = p.consume(TokenType::Number);
  ASSERT_TRUE(number.ok());
  EXPECT_EQ(number->value, "1");
  EXPECT_EQ(p.consume()->token_type, TokenType::RParen);  // no type: advance anyway
  EXPECT_EQ(p.consume()->token_type, TokenType::Eof);
  EXPECT_EQ(p.consume()->token_type, TokenType::Eof);  // reading past the end stays at Eof
}

std::string repeat(std::string_view s, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

// Deep nesting is refused with a clear error instead of exhausting the stack.
TEST(Parser, NestingLimit) {
  const std::string too_deep =
      "error: Formula nests too deeply (more than " + std::to_string(kMaxNesting) + " levels)";
  const size_t n = 100000;
  EXPECT_EQ(shape("=" + repeat("(", n) + "1" + repeat(")", n)), too_deep);
  EXPECT_EQ(shape("=" + repeat("-", n) + "1"), too_deep);
  EXPECT_EQ(shape("=" + repeat("SUM(", n) + "1" + repeat(")", n)), too_deep);
  EXPECT_EQ(shape("=" + repeat("{", n) + "1" + repeat("}", n)), too_deep);
  // Just inside the limit: kMaxNesting - 1 parentheses around the innermost operand.
  const size_t ok = kMaxNesting - 1;
  EXPECT_EQ(shape("=" + repeat("(", ok) + "7" + repeat(")", ok)), "7");
  EXPECT_EQ(shape("=" + repeat("(", ok + 1) + "7" + repeat(")", ok + 1)), too_deep);
}

// A long operator chain is a deep left-leaning tree; parsing, walking, cloning, printing
// and destroying it must not recurse on its depth.
TEST(Parser, LongChain) {
  const size_t terms = 200000;
  auto tree = Parser::parse("=1" + repeat("+1", terms - 1));
  ASSERT_TRUE(tree.ok());
  size_t numbers = 0, nodes = 0;
  walk(*tree, [&](const AstNode& n) {
    ++nodes;
    if (n.kind() == AstNode::Kind::Number) ++numbers;
  });
  EXPECT_EQ(numbers, terms);
  EXPECT_EQ(nodes, 2 * terms - 1);
  AstNode copy = clone_ast(*tree);
  EXPECT_EQ(to_prefix_text(copy), to_prefix_text(*tree));
}

TEST(Parser, WalkOrderAndMutation) {
  auto tree = Parser::parse("=SUM(A1, rate) * rate");
  ASSERT_TRUE(tree.ok());
  std::string order;
  walk(*tree, [&](const AstNode& n) { order += std::to_string(int(n.kind())) + " "; });
  // BinaryOp, FunctionCall, CellRef, Name, Name: parents first, left to right.
  EXPECT_EQ(order, "8 10 3 7 7 ");

  // Substituting a name by a copy of its definition; the walk continues into the copy.
  auto definition = Parser::parse("=B1+inner");
  ASSERT_TRUE(definition.ok());
  size_t inner_seen = 0;
  walk_mut(*tree, [&](AstNode& n) {
    const auto* name = n.get_if<AstNode::Name>();
    if (name && name->name == "RATE")
      n = clone_ast(*definition);
    else if (name && name->name == "INNER")
      ++inner_seen;
  });
  EXPECT_EQ(inner_seen, 2u);
  EXPECT_EQ(to_prefix_text(*tree), "(* (SUM A1 (+ B1 name:INNER)) (+ B1 name:INNER))");
}

}  // namespace
}  // namespace tabrix
