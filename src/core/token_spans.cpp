#include "core/token_spans.h"

#include <iterator>

#include "core/lexer.h"
#include "core/unicode.h"

namespace tabrix {

namespace {

constexpr std::string_view kKindTexts[] = {
    "number",   "string",   "boolean", "cell_ref", "range",      "name",
    "function", "operator", "paren",   "comma",    "whitespace", "unknown",
};
static_assert(std::size(kKindTexts) == size_t(TokenSpanKind::Unknown) + 1);

// The span kind of each token type; Function is decided by the token after it.
constexpr TokenSpanKind kKindOfType[] = {
    TokenSpanKind::Number,    // Number
    TokenSpanKind::String,    // String
    TokenSpanKind::Boolean,   // Boolean
    TokenSpanKind::CellRef,   // CellRef
    TokenSpanKind::Name,      // Function (not followed by "(")
    TokenSpanKind::Operator,  // Operator
    TokenSpanKind::Paren,     // LParen
    TokenSpanKind::Paren,     // RParen
    TokenSpanKind::Paren,     // LBrace
    TokenSpanKind::Paren,     // RBrace
    TokenSpanKind::Comma,     // Comma
    TokenSpanKind::Operator,  // Colon
    TokenSpanKind::Comma,     // Semicolon
    TokenSpanKind::Operator,  // Hash
    TokenSpanKind::Unknown,   // Eof (partial mode returns none)
};
static_assert(std::size(kKindOfType) == size_t(TokenType::Eof) + 1);

bool is_type(const std::vector<Token>& tokens, size_t i, TokenType type) {
  return i < tokens.size() && tokens[i].token_type == type;
}

bool is_letters_only(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  return true;
}

// Tokens i and i+2 around a colon at i+1 form a range: two cells (A1:B2), two numbers (3:5,
// whole rows) or two letter-only identifiers (A:C, whole columns).
bool starts_range(const std::vector<Token>& tokens, size_t i) {
  if (i + 2 >= tokens.size() || tokens[i + 1].token_type != TokenType::Colon) return false;
  const Token& a = tokens[i];
  const Token& b = tokens[i + 2];
  if (a.token_type != b.token_type) return false;
  switch (a.token_type) {
    case TokenType::CellRef:
    case TokenType::Number:
      return true;
    case TokenType::Function:
      return is_letters_only(a.value) && is_letters_only(b.value);
    default:
      return false;
  }
}

TokenSpanKind kind_of(const std::vector<Token>& tokens, size_t i) {
  if (tokens[i].token_type == TokenType::Function && is_type(tokens, i + 1, TokenType::LParen))
    return TokenSpanKind::Function;
  return kKindOfType[size_t(tokens[i].token_type)];
}

// Characters as the lexer counts them (malformed bytes one each).
size_t char_count(std::string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++n) decode_utf8(s, i);
  return n;
}

// Appends [from, to) unless it is empty. Offsets are after "=" here.
void emit(std::vector<TokenSpan>& out, size_t from, size_t to, TokenSpanKind kind) {
  if (from < to) out.push_back(TokenSpan{from, to, kind});
}

}  // namespace

std::string_view token_span_kind_text(TokenSpanKind kind) {
  return kKindTexts[size_t(kind)];
}

std::vector<TokenSpan> formula_tokens(std::string_view formula) {
  if (formula.empty() || formula[0] != '=') return {};
  const std::string_view body = formula.substr(1);
  PartialTokens lexed = Lexer(body).tokenize_partial();
  const std::vector<Token>& tokens = lexed.tokens;

  std::vector<TokenSpan> out;
  out.reserve(2 * tokens.size() + 2);
  size_t p = 0;
  for (size_t i = 0; i < tokens.size();) {
    const Token& t = tokens[i];
    emit(out, p, t.position, TokenSpanKind::Whitespace);
    if (starts_range(tokens, i)) {
      p = tokens[i + 2].position + tokens[i + 2].length;
      emit(out, t.position, p, TokenSpanKind::Range);
      i += 3;
    } else {
      p = t.position + t.length;
      emit(out, t.position, p, kind_of(tokens, i));
      i += 1;
    }
  }
  const size_t n = char_count(body);
  if (lexed.error_position) {
    emit(out, p, *lexed.error_position, TokenSpanKind::Whitespace);
    emit(out, *lexed.error_position, n, TokenSpanKind::Unknown);
  } else {
    emit(out, p, n, TokenSpanKind::Whitespace);
  }
  for (TokenSpan& s : out) {
    ++s.start;
    ++s.end;
  }
  return out;
}

}  // namespace tabrix
