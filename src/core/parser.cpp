#include "core/parser.h"

#include <charconv>
#include <cstdint>
#include <span>

#include "core/value.h"

namespace tabrix {

namespace {

using N = AstNode;

// The binary precedence levels, lowest first. The comparison spellings are listed in the
// order of `ComparisonOperator`, so a spelling's index is its operator code.
constexpr std::string_view kCompareOps[] = {"=", "<>", "<", "<=", ">", ">="};
constexpr std::string_view kConcatOps[] = {"&"};
constexpr std::string_view kAdditiveOps[] = {"+", "-"};
constexpr std::string_view kMultiplicativeOps[] = {"*", "/", "%"};
constexpr std::string_view kPowerOps[] = {"^"};

struct BinaryLevel {
  std::span<const std::string_view> ops;
  bool compare;  // builds Compare nodes instead of BinaryOp
};
constexpr BinaryLevel kLevels[] = {
    {kCompareOps, true},          // expression
    {kConcatOps, false},          // concat
    {kAdditiveOps, false},        // additive
    {kMultiplicativeOps, false},  // multiplicative
    {kPowerOps, false},           // power
};

const Token kEofToken{"", 0, 0, TokenType::Eof};

std::optional<uint32_t> parse_u32(std::string_view digits) {
  uint32_t value = 0;
  auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || ptr != digits.data() + digits.size() || digits.empty())
    return std::nullopt;
  return value;
}

bool is_ascii_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool all_letters(std::string_view s) {
  for (char c : s)
    if (!is_ascii_letter(c)) return false;
  return !s.empty();
}

// A CellRef token's value split into its letters and its 32-bit row.
struct SplitRef {
  std::string col;
  uint32_t row;
};
std::optional<SplitRef> split_ref(std::string_view value) {
  size_t i = 0;
  while (i < value.size() && is_ascii_letter(value[i])) ++i;
  auto row = parse_u32(value.substr(i));
  if (!row) return std::nullopt;
  return SplitRef{std::string(value.substr(0, i)), *row};
}

std::string unexpected(const Token& t) {
  return "Unexpected token: " + std::string(token_type_name(t.token_type)) + " (" + t.value + ")";
}

}  // namespace

Parser::Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

Result<AstNode, std::string> Parser::parse(std::string_view text) {
  if (text.starts_with('=')) text.remove_prefix(1);
  auto tokens = Lexer(text).tokenize();
  if (!tokens) return fail(std::move(tokens.error()));
  return Parser(std::move(*tokens)).parse_formula();
}

Result<AstNode, std::string> Parser::parse_formula() {
  auto expr = parse_expression();
  if (!expr) return fail(std::move(expr.error()));
  if (current().token_type != TokenType::Eof) return fail("Unexpected token: " + current().value);
  return AstNode(std::move(**expr));
}

const Token& Parser::peek(size_t ahead) const {
  return pos_ + ahead < tokens_.size() ? tokens_[pos_ + ahead] : kEofToken;
}

bool Parser::at_operator(std::string_view text) const {
  return current().token_type == TokenType::Operator && current().value == text;
}

Result<Token, std::string> Parser::consume(std::optional<TokenType> expected) {
  const Token& t = current();
  if (expected && t.token_type != *expected)
    return fail("Expected " + std::string(token_type_name(*expected)) + " but got " +
                std::string(token_type_name(t.token_type)));
  Token out = t;
  if (pos_ < tokens_.size()) ++pos_;
  return out;
}

// expression := concat { cmp concat }
Parser::Parsed Parser::parse_expression() {
  return parse_level(0);
}

// One binary level of `kLevels`: operand { op operand }, left-associative. The loop builds
// arbitrarily long chains without recursion.
Parser::Parsed Parser::parse_level(size_t level) {
  if (level == std::size(kLevels)) return parse_unary();
  const BinaryLevel& spec = kLevels[level];
  auto left = parse_level(level + 1);
  if (!left) return left;
  for (;;) {
    if (current().token_type != TokenType::Operator) break;
    size_t index = 0;
    while (index < spec.ops.size() && spec.ops[index] != current().value) ++index;
    if (index == spec.ops.size()) break;
    const char op = current().value[0];
    ++pos_;
    auto right = parse_level(level + 1);
    if (!right) return right;
    if (spec.compare)
      left = make_node(N::Compare{ComparisonOperator(index), std::move(*left), std::move(*right)});
    else
      left = make_node(N::BinaryOp{op, std::move(*left), std::move(*right)});
  }
  return left;
}

// unary := ("+" | "-") unary | primary. Every nesting of the grammar passes through here,
// so this is where the depth is guarded.
Parser::Parsed Parser::parse_unary() {
  if (depth_ >= kMaxNesting)
    return fail("Formula nests too deeply (more than " + std::to_string(kMaxNesting) + " levels)");
  ++depth_;
  struct Leave {
    size_t& depth;
    ~Leave() { --depth; }
  } leave{depth_};
  if (at_operator("+") || at_operator("-")) {
    const char op = current().value[0];
    ++pos_;
    auto operand = parse_unary();
    if (!operand) return operand;
    return make_node(N::UnaryOp{op, std::move(*operand)});
  }
  return parse_primary();
}

Parser::Parsed Parser::parse_primary() {
  switch (current().token_type) {
    case TokenType::Number:
      return parse_number_token();
    case TokenType::String: {
      auto node = make_node(N::String{current().value});
      ++pos_;
      return node;
    }
    case TokenType::Boolean: {
      auto node = make_node(N::Boolean{current().value == "TRUE"});
      ++pos_;
      return node;
    }
    case TokenType::CellRef:
      return parse_cell_ref();
    case TokenType::Function:
      return parse_identifier();
    case TokenType::LParen: {
      ++pos_;
      auto inner = parse_expression();
      if (!inner) return inner;
      if (auto close = consume(TokenType::RParen); !close) return fail(std::move(close.error()));
      return inner;
    }
    case TokenType::LBrace:
      return parse_array_literal();
    default:
      return fail(unexpected(current()));
  }
}

// Number ":" Number is a row range; otherwise a number literal.
Parser::Parsed Parser::parse_number_token() {
  const Token& t = current();
  if (peek(1).token_type == TokenType::Colon && peek(2).token_type == TokenType::Number) {
    auto start = parse_u32(t.value);
    if (!start) return fail("Invalid row number: " + t.value);
    auto end = parse_u32(peek(2).value);
    if (!end) return fail("Invalid row number: " + peek(2).value);
    pos_ += 3;
    return make_node(N::RowRange{*start, *end});
  }
  auto x = tabrix::parse_number(t.value);
  if (!x) return fail("Invalid number: " + t.value);
  ++pos_;
  return make_node(N::Number{*x});
}

// CellRef [":" CellRef | "#"]
Parser::Parsed Parser::parse_cell_ref() {
  auto start = split_ref(current().value);
  if (!start) return fail("Invalid cell reference: " + current().value);
  ++pos_;
  if (current().token_type == TokenType::Colon) {
    ++pos_;
    auto end_token = consume(TokenType::CellRef);
    if (!end_token) return fail(std::move(end_token.error()));
    auto end = split_ref(end_token->value);
    if (!end) return fail("Invalid cell reference: " + end_token->value);
    return make_node(N::Range{std::move(start->col), start->row, std::move(end->col), end->row});
  }
  if (current().token_type == TokenType::Hash) {
    ++pos_;
    return make_node(N::SpillRef{std::move(start->col), start->row});
  }
  return make_node(N::CellRef{std::move(start->col), start->row});
}

// Letters ":" Letters | Function "(" ... ")" | Name
Parser::Parsed Parser::parse_identifier() {
  const Token& t = current();
  if (peek(1).token_type == TokenType::Colon && peek(2).token_type == TokenType::Function &&
      all_letters(t.value)) {
    const Token& end = peek(2);
    if (!all_letters(end.value)) return fail("Invalid column range end: " + end.value);
    auto node = make_node(N::ColumnRange{t.value, end.value});
    pos_ += 3;
    return node;
  }
  std::string name = t.value;
  ++pos_;
  if (current().token_type == TokenType::LParen) return parse_call(std::move(name));
  return make_node(N::Name{std::move(name)});
}

// "(" [ expression { "," expression } ] ")", the name already consumed.
Parser::Parsed Parser::parse_call(std::string name) {
  ++pos_;  // "("
  std::vector<AstPtr> args;
  if (current().token_type != TokenType::RParen) {
    for (;;) {
      auto arg = parse_expression();
      if (!arg) return arg;
      args.push_back(std::move(*arg));
      if (current().token_type != TokenType::Comma) break;
      ++pos_;
    }
  }
  if (auto close = consume(TokenType::RParen); !close) return fail(std::move(close.error()));
  return make_node(N::FunctionCall{std::move(name), std::move(args)});
}

// "{" row { ";" row } "}" with row := expression { "," expression }; rows of equal width.
Parser::Parsed Parser::parse_array_literal() {
  ++pos_;  // "{"
  if (current().token_type == TokenType::RBrace)
    return fail(std::string("Array literal must contain at least one element"));
  std::vector<std::vector<AstPtr>> rows;
  for (;;) {
    std::vector<AstPtr> row;
    for (;;) {
      auto element = parse_expression();
      if (!element) return element;
      row.push_back(std::move(*element));
      if (current().token_type != TokenType::Comma) break;
      ++pos_;
    }
    rows.push_back(std::move(row));
    if (current().token_type == TokenType::Semicolon) {
      ++pos_;
      continue;
    }
    if (current().token_type == TokenType::RBrace) {
      ++pos_;
      break;
    }
    return fail("Expected `,`, `;`, or `}` in array literal; got " + current().value);
  }
  for (size_t r = 1; r < rows.size(); ++r)
    if (rows[r].size() != rows[0].size())
      return fail("Array literal rows have inconsistent widths (row " + std::to_string(r) +
                  " has " + std::to_string(rows[r].size()) + ", row 0 has " +
                  std::to_string(rows[0].size()) + ")");
  return make_node(N::ArrayLiteral{std::move(rows)});
}

}  // namespace tabrix
