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

// Error texts are built out of line so that the parse functions on the recursion path do
// not reserve stack room for string temporaries.
[[gnu::noinline, gnu::cold]] Failure<std::string> failure(std::string_view a,
                                                          std::string_view b = {},
                                                          std::string_view c = {},
                                                          std::string_view d = {}) {
  std::string out;
  out.reserve(a.size() + b.size() + c.size() + d.size());
  out.append(a).append(b).append(c).append(d);
  return fail(std::move(out));
}

[[gnu::noinline, gnu::cold]] Failure<std::string> too_deep() {
  return failure("Formula nests too deeply (more than " + std::to_string(kMaxNesting) + " levels)");
}

[[gnu::noinline, gnu::cold]] Failure<std::string> unexpected(const Token& t) {
  return failure("Unexpected token: ", token_type_name(t.token_type), " (", t.value + ")");
}

[[gnu::noinline, gnu::cold]] Failure<std::string> expected_but_got(TokenType expected,
                                                                   TokenType got) {
  return failure("Expected ", token_type_name(expected), " but got ", token_type_name(got));
}

// Replaces the two topmost operands by the node of the topmost pending operator.
template <class Pending>
[[gnu::noinline]] void reduce(std::vector<AstPtr>& operands, std::vector<Pending>& pending) {
  const Pending top = pending.back();
  pending.pop_back();
  AstPtr right = std::move(operands.back());
  operands.pop_back();
  AstPtr left = std::move(operands.back());
  if (kLevels[top.level].compare)
    operands.back() =
        make_node(N::Compare{ComparisonOperator(top.index), std::move(left), std::move(right)});
  else
    operands.back() = make_node(N::BinaryOp{top.op, std::move(left), std::move(right)});
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
  if (current().token_type != TokenType::Eof) return failure("Unexpected token: ", current().value);
  return AstNode(std::move(**expr));
}

const Token& Parser::peek(size_t ahead) const {
  return pos_ + ahead < tokens_.size() ? tokens_[pos_ + ahead] : kEofToken;
}

bool Parser::at_operator(std::string_view text) const {
  return current().token_type == TokenType::Operator && current().value == text;
}

Result<Token, std::string> Parser::consume(std::optional<TokenType> expected) {
  if (expected && current().token_type != *expected)
    return expected_but_got(*expected, current().token_type);
  Token out = current();
  if (pos_ < tokens_.size()) ++pos_;
  return out;
}

std::optional<std::string> Parser::expect(TokenType expected) {
  if (current().token_type != expected)
    return std::move(expected_but_got(expected, current().token_type).error);
  ++pos_;
  return std::nullopt;
}

// expression := concat { cmp concat }, and below it the other binary levels of `kLevels`.
// A lone operand is returned as it is; anything longer goes to `parse_operator_chain`.
// Every nested expression (parentheses, arguments, array elements) enters here, so this is
// where the nesting depth is guarded.
Parser::Parsed Parser::parse_expression() {
  if (depth_ >= kMaxNesting) return too_deep();
  ++depth_;
  Parsed out = parse_unary();
  if (out && binary_operator_here()) out = parse_operator_chain(std::move(*out));
  --depth_;
  return out;
}

std::optional<Parser::PendingOperator> Parser::binary_operator_here() const {
  const Token& t = current();
  if (t.token_type != TokenType::Operator) return std::nullopt;
  for (size_t level = 0; level < std::size(kLevels); ++level)
    for (size_t index = 0; index < kLevels[level].ops.size(); ++index)
      if (kLevels[level].ops[index] == t.value) return PendingOperator{level, index, t.value[0]};
  return std::nullopt;
}

// The binary levels are parsed by one operator-precedence loop instead of one recursive
// function per level: operands (unary expressions) and pending operators wait on two stacks,
// and an operator is reduced as soon as one of the same or a lower level follows, which makes
// every level left-associative. The trees are those of the recursive rules of the grammar,
// but chains of any length are built by the loop.
Parser::Parsed Parser::parse_operator_chain(AstPtr first) {
  std::vector<AstPtr> operands;
  std::vector<PendingOperator> pending;
  operands.push_back(std::move(first));
  while (auto op = binary_operator_here()) {
    while (!pending.empty() && pending.back().level >= op->level) reduce(operands, pending);
    pending.push_back(*op);
    ++pos_;
    Parsed operand = parse_unary();
    if (!operand) return operand;
    operands.push_back(std::move(*operand));
  }
  while (!pending.empty()) reduce(operands, pending);
  return std::move(operands.back());
}

// unary := ("+" | "-") unary | primary. The signs are read by a loop and applied innermost
// first; each counts as a nesting level, like a parenthesis.
Parser::Parsed Parser::parse_unary() {
  const size_t first_sign = pos_;
  while (at_operator("+") || at_operator("-")) {
    if (depth_ + (pos_ - first_sign) >= kMaxNesting) return too_deep();
    ++pos_;
  }
  const size_t end_signs = pos_;
  Parsed node = parse_primary();
  if (node)
    for (size_t i = end_signs; i-- > first_sign;)
      *node = make_node(N::UnaryOp{tokens_[i].value[0], std::move(*node)});
  return node;
}

Parser::Parsed Parser::parse_primary() {
  switch (current().token_type) {
    case TokenType::Number:
      return parse_number_token();
    case TokenType::String:
    case TokenType::Boolean:
      return parse_simple_literal();
    case TokenType::CellRef:
      return parse_cell_ref();
    case TokenType::Function:
      return parse_identifier();
    case TokenType::LParen:
      return parse_paren();
    case TokenType::LBrace:
      return parse_array_literal();
    default:
      return unexpected(current());
  }
}

// "(" expression ")"
Parser::Parsed Parser::parse_paren() {
  ++pos_;
  Parsed inner = parse_expression();
  if (inner)
    if (auto error = expect(TokenType::RParen)) return fail(std::move(*error));
  return inner;
}

Parser::Parsed Parser::parse_simple_literal() {
  const Token& t = current();
  ++pos_;
  if (t.token_type == TokenType::Boolean) return make_node(N::Boolean{t.value == "TRUE"});
  return make_node(N::String{t.value});
}

// Number ":" Number is a row range; otherwise a number literal.
Parser::Parsed Parser::parse_number_token() {
  const Token& t = current();
  if (peek(1).token_type == TokenType::Colon && peek(2).token_type == TokenType::Number) {
    auto start = parse_u32(t.value);
    if (!start) return failure("Invalid row number: ", t.value);
    auto end = parse_u32(peek(2).value);
    if (!end) return failure("Invalid row number: ", peek(2).value);
    pos_ += 3;
    return make_node(N::RowRange{*start, *end});
  }
  auto x = tabrix::parse_number(t.value);
  if (!x) return failure("Invalid number: ", t.value);
  ++pos_;
  return make_node(N::Number{*x});
}

// CellRef [":" CellRef | "#"]
Parser::Parsed Parser::parse_cell_ref() {
  auto start = split_ref(current().value);
  if (!start) return failure("Invalid cell reference: ", current().value);
  ++pos_;
  if (current().token_type == TokenType::Colon) {
    ++pos_;
    if (current().token_type != TokenType::CellRef)
      return expected_but_got(TokenType::CellRef, current().token_type);
    auto end = split_ref(current().value);
    if (!end) return failure("Invalid cell reference: ", current().value);
    ++pos_;
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
  if (peek(1).token_type == TokenType::Colon && peek(2).token_type == TokenType::Function &&
      all_letters(current().value))
    return parse_column_range();
  if (peek(1).token_type == TokenType::LParen) return parse_call();
  ++pos_;
  return make_node(N::Name{tokens_[pos_ - 1].value});
}

Parser::Parsed Parser::parse_column_range() {
  const Token& start = current();
  const Token& end = peek(2);
  if (!all_letters(end.value)) return failure("Invalid column range end: ", end.value);
  pos_ += 3;
  return make_node(N::ColumnRange{start.value, end.value});
}

// Function "(" [ expression { "," expression } ] ")"
Parser::Parsed Parser::parse_call() {
  const size_t name_at = pos_;
  pos_ += 2;  // the name and "("
  std::vector<AstPtr> args;
  if (current().token_type != TokenType::RParen) {
    for (;;) {
      Parsed arg = parse_expression();
      if (!arg) return arg;
      args.push_back(std::move(*arg));
      if (current().token_type != TokenType::Comma) break;
      ++pos_;
    }
  }
  if (auto error = expect(TokenType::RParen)) return fail(std::move(*error));
  return make_node(N::FunctionCall{tokens_[name_at].value, std::move(args)});
}

namespace {

// "Array literal rows have inconsistent widths ..." for the first row whose width differs
// from row 0; none when all rows agree.
[[gnu::noinline]] std::optional<std::string> check_widths(
    const std::vector<std::vector<AstPtr>>& rows) {
  for (size_t r = 1; r < rows.size(); ++r)
    if (rows[r].size() != rows[0].size())
      return "Array literal rows have inconsistent widths (row " + std::to_string(r) + " has " +
             std::to_string(rows[r].size()) + ", row 0 has " + std::to_string(rows[0].size()) + ")";
  return std::nullopt;
}

}  // namespace

// "{" row { ";" row } "}" with row := expression { "," expression }; rows of equal width.
Parser::Parsed Parser::parse_array_literal() {
  ++pos_;  // "{"
  if (current().token_type == TokenType::RBrace)
    return failure("Array literal must contain at least one element");
  std::vector<std::vector<AstPtr>> rows(1);
  for (;;) {
    Parsed element = parse_expression();
    if (!element) return element;
    rows.back().push_back(std::move(*element));
    const TokenType next = current().token_type;
    ++pos_;
    if (next == TokenType::Comma) continue;
    if (next == TokenType::Semicolon) {
      rows.emplace_back();
      continue;
    }
    if (next == TokenType::RBrace) break;
    --pos_;
    return failure("Expected `,`, `;`, or `}` in array literal; got ", current().value);
  }
  if (auto error = check_widths(rows)) return fail(std::move(*error));
  return make_node(N::ArrayLiteral{std::move(rows)});
}

}  // namespace tabrix
