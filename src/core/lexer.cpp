#include "core/lexer.h"

#include "core/unicode.h"

namespace tabrix {

namespace {

constexpr std::string_view kTokenTypeNames[] = {
    "Number", "String", "Boolean", "CellRef", "Function",  "Operator", "LParen", "RParen",
    "LBrace", "RBrace", "Comma",   "Colon",   "Semicolon", "Hash",     "Eof",
};
static_assert(std::size(kTokenTypeNames) == size_t(TokenType::Eof) + 1);

// Characters that form a token on their own.
struct SingleChar {
  char c;
  TokenType type;
};
constexpr SingleChar kSingleChars[] = {
    {'%', TokenType::Operator}, {'&', TokenType::Operator},  {'*', TokenType::Operator},
    {'+', TokenType::Operator}, {'-', TokenType::Operator},  {'/', TokenType::Operator},
    {'^', TokenType::Operator}, {'(', TokenType::LParen},    {')', TokenType::RParen},
    {'{', TokenType::LBrace},   {'}', TokenType::RBrace},    {',', TokenType::Comma},
    {':', TokenType::Colon},    {';', TokenType::Semicolon}, {'#', TokenType::Hash},
};

bool is_ascii_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_ascii_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool is_tail_char(char c) {
  return is_ascii_letter(c) || is_ascii_digit(c) || c == '_';
}
bool is_lexer_space(char c) {
  return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}
char ascii_upper(char c) {
  return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

std::string dollar_error(size_t position) {
  return "Unexpected character: $ at position " + std::to_string(position);
}

}  // namespace

std::string_view token_type_name(TokenType type) {
  return kTokenTypeNames[size_t(type)];
}

Lexer::Lexer(std::string_view text) : text_(text) {}

char Lexer::peek(size_t ahead) const {
  return byte_ + ahead < text_.size() ? text_[byte_ + ahead] : '\0';
}

void Lexer::advance_ascii(size_t n) {
  byte_ += n;
  cp_ += n;
}

void Lexer::skip_white_space() {
  while (!at_end() && is_lexer_space(peek())) advance_ascii();
}

Token Lexer::single(TokenType type, size_t length) {
  Token t{text_.substr(byte_, length), cp_, length, type};
  advance_ascii(length);
  return t;
}

std::string Lexer::unexpected_character() const {
  size_t i = byte_;
  std::string out = "Unexpected character: ";
  append_utf8(out, decode_utf8(text_, i));
  out += " at position " + std::to_string(cp_);
  return out;
}

Result<std::optional<Token>, std::string> Lexer::next_token() {
  skip_white_space();
  if (at_end()) return std::optional<Token>();
  const char c = peek();
  if (c == '"' || c == '\'') {
    auto s = read_string(c);
    if (!s) return fail(std::move(s.error()));
    return std::optional<Token>(std::move(*s));
  }
  if (c == '$') {
    if (is_ascii_letter(peek(1))) {
      auto id = read_identifier();
      if (!id) return fail(std::move(id.error()));
      return std::optional<Token>(std::move(*id));
    }
    if (is_ascii_digit(peek(1))) return std::optional<Token>(read_number());
    return fail(dollar_error(cp_));
  }
  if (is_ascii_digit(c) || (c == '.' && is_ascii_digit(peek(1))))
    return std::optional<Token>(read_number());
  if (c == '<' && (peek(1) == '=' || peek(1) == '>'))
    return std::optional<Token>(single(TokenType::Operator, 2));
  if (c == '>' && peek(1) == '=') return std::optional<Token>(single(TokenType::Operator, 2));
  if (c == '=' || c == '<' || c == '>') return std::optional<Token>(single(TokenType::Operator, 1));
  if (is_ascii_letter(c)) {
    auto id = read_identifier();
    if (!id) return fail(std::move(id.error()));
    return std::optional<Token>(std::move(*id));
  }
  for (const SingleChar& s : kSingleChars)
    if (s.c == c) return std::optional<Token>(single(s.type, 1));
  return fail(unexpected_character());
}

// A text literal runs to the next occurrence of its own quote; there are no escapes.
Result<Token, std::string> Lexer::read_string(char quote) {
  const size_t start_cp = cp_;
  const size_t inner_begin = byte_ + 1;
  size_t i = inner_begin, inner_cps = 0;
  while (i < text_.size() && text_[i] != quote) {
    decode_utf8(text_, i);
    ++inner_cps;
  }
  if (i >= text_.size()) return fail(std::string("Unterminated string"));
  Token t{text_.substr(inner_begin, i - inner_begin), start_cp, inner_cps + 2, TokenType::String};
  byte_ = i + 1;
  cp_ = start_cp + inner_cps + 2;
  return t;
}

// Digits with at most one "."; a leading "$" is consumed but not part of the value.
Token Lexer::read_number() {
  const size_t start_cp = cp_;
  if (peek() == '$') advance_ascii();
  const size_t begin = byte_;
  bool seen_point = false;
  while (!at_end()) {
    char c = peek();
    if (c == '.' && !seen_point) {
      seen_point = true;
    } else if (!is_ascii_digit(c)) {
      break;
    }
    advance_ascii();
  }
  return Token{text_.substr(begin, byte_ - begin), start_cp, cp_ - start_cp, TokenType::Number};
}

// [$] letters [$] digits tail: a cell reference when letters and digits are followed by no
// tail; otherwise an identifier, which may not carry "$" markers unless it is letters only.
Result<Token, std::string> Lexer::read_identifier() {
  const size_t start_cp = cp_;
  bool marker = false;
  if (peek() == '$') {
    marker = true;
    advance_ascii();
  }
  std::string value;
  while (is_ascii_letter(peek())) {
    value += ascii_upper(peek());
    advance_ascii();
  }
  if (peek() == '$' && is_ascii_digit(peek(1))) {
    marker = true;
    advance_ascii();
  }
  size_t digits = 0;
  while (is_ascii_digit(peek())) {
    value += peek();
    advance_ascii();
    ++digits;
  }
  size_t tail = 0;
  while (is_tail_char(peek())) {
    value += ascii_upper(peek());
    advance_ascii();
    ++tail;
  }
  TokenType type;
  if (digits > 0 && tail == 0) {
    type = TokenType::CellRef;
  } else if (!marker) {
    type = (value == "TRUE" || value == "FALSE") ? TokenType::Boolean : TokenType::Function;
  } else if (digits == 0 && tail == 0) {
    type = TokenType::Function;
  } else {
    return fail(dollar_error(start_cp));
  }
  return Token{std::move(value), start_cp, cp_ - start_cp, type};
}

Result<std::vector<Token>, std::string> Lexer::tokenize() {
  std::vector<Token> tokens;
  for (;;) {
    auto t = next_token();
    if (!t) return fail(std::move(t.error()));
    if (!*t) break;
    tokens.push_back(std::move(**t));
  }
  tokens.push_back(Token{"", cp_, 0, TokenType::Eof});
  return tokens;
}

PartialTokens Lexer::tokenize_partial() {
  PartialTokens out;
  byte_ = cp_ = 0;
  for (;;) {
    skip_white_space();
    if (at_end()) break;
    const size_t p = cp_;
    auto t = next_token();
    if (!t) {
      out.error_position = p;
      break;
    }
    if (!*t) break;
    out.tokens.push_back(std::move(**t));
  }
  return out;
}

}  // namespace tabrix
