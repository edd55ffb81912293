// Parser: turns a formula text into a syntax tree (`AstNode`, core/ast.h) by recursive
// descent over the lexer's tokens.
//
// Grammar, lowest precedence first; every binary level is left-associative and loops while
// the current token is an Operator of that level (the levels come from one table in
// parser.cpp):
//
//   formula        := ["="] expression Eof
//   expression     := concat { ("=" | "<>" | "<" | "<=" | ">" | ">=") concat }   -> Compare
//   concat         := additive { "&" additive }                                  -> BinaryOp
//   additive       := multiplicative { ("+" | "-") multiplicative }              -> BinaryOp
//   multiplicative := power { ("*" | "/" | "%") power }                          -> BinaryOp
//   power          := unary { "^" unary }                                        -> BinaryOp
//   unary          := ("+" | "-") unary | primary                                -> UnaryOp
//   primary        := Number ":" Number                                          -> RowRange
//                   | Number | String | Boolean
//                   | CellRef ":" CellRef                                        -> Range
//                   | CellRef "#"                                                -> SpillRef
//                   | CellRef
//                   | Letters ":" Letters                                        -> ColumnRange
//                   | Function "(" [ expression { "," expression } ] ")"         -> FunctionCall
//                   | Function                                                   -> Name
//                   | "(" expression ")"
//                   | "{" row { ";" row } "}"   row := expression { "," expression }
//
// So comparisons chain ((1<2)<3), "^" is left-associative ((2^3)^2), a prefix minus binds
// tighter than "^" ((-2)^2), and "&" binds looser than "+".
//
// The binary levels are parsed by one operator-precedence loop driven by that table, so the
// C stack grows only with nesting. Nesting (parentheses, prefix signs, call arguments, array
// elements) is limited to `kMaxNesting` levels so that hostile input cannot exhaust the
// stack; chains of binary operators have no such limit.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ast.h"
#include "core/lexer.h"
#include "core/result.h"

namespace tabrix {

// Deepest nesting of prefix signs, parentheses, function calls and array literals.
inline constexpr size_t kMaxNesting = 1000;

class Parser {
 public:
  // A parser over a token list (as from `Lexer::tokenize`, ending with Eof).
  explicit Parser(std::vector<Token> tokens);

  // Parses a formula: one leading "=" is removed, the rest is tokenised and parsed as one
  // expression followed by Eof. Fails with the lexer's error text unchanged or with a parse
  // error text: "Unexpected token: {type} ({value})", "Unexpected token: {value}",
  // "Expected {type} but got {type}", "Invalid number: {}", "Invalid row number: {}",
  // "Invalid cell reference: {}", "Invalid column range end: {}", the array literal texts,
  // or "Formula nests too deeply (more than 1000 levels)".
  static Result<AstNode, std::string> parse(std::string_view text);

  // Parses the whole token list as one expression followed by Eof. Fails as `parse`.
  Result<AstNode, std::string> parse_formula();

  // Advances past the current token and returns it. When `expected` is given and the
  // current token has another type, fails with "Expected {} but got {}" and does not move.
  Result<Token, std::string> consume(std::optional<TokenType> expected = std::nullopt);

 private:
  using Parsed = Result<AstPtr, std::string>;

  const Token& current() const { return peek(0); }
  // The token `ahead` places past the current one; past the end a shared Eof token.
  const Token& peek(size_t ahead) const;
  bool at_operator(std::string_view text) const;

  // A binary operator at the current token: its level in the precedence table, its index
  // within the level and its character.
  struct PendingOperator {
    size_t level;
    size_t index;
    char op;
  };
  std::optional<PendingOperator> binary_operator_here() const;

  // Functions on the path of nested expressions keep their frames small (the C stack grows
  // by their sum per nesting level); leaf rules and error texts live in separate functions.
  Parsed parse_expression();
  Parsed parse_operator_chain(AstPtr first);
  Parsed parse_unary();
  Parsed parse_primary();
  Parsed parse_paren();
  Parsed parse_identifier();
  Parsed parse_call();
  Parsed parse_array_literal();
  Parsed parse_number_token();
  Parsed parse_cell_ref();
  Parsed parse_column_range();
  Parsed parse_simple_literal();
  // Fails with "Expected {expected} but got {current}" unless the current token has type
  // `expected`, which is then skipped.
  std::optional<std::string> expect(TokenType expected);

  std::vector<Token> tokens_;
  size_t pos_ = 0;
  size_t depth_ = 0;  // active `parse_expression` calls
};

}  // namespace tabrix
