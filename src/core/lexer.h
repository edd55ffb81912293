// Lexer: turns the text of a formula (without its leading "=") into tokens.
//
// This is the only place that decides what counts as a number, a text literal, a cell
// reference, an identifier or an operator; the parser, reference rewriting, completion and
// token classification all work on its tokens. Positions and lengths count Unicode code
// points of the text given to the lexer, not bytes.
//
// Tokens:
//   Number     digits with at most one ".", optionally after a "$" ("12", ".5", "1.", "$7")
//   String     '...' or "..." with no escapes; the other quote may appear inside
//   Boolean    TRUE / FALSE in any case
//   CellRef    letters then digits with optional "$" markers ("A1", "$b$12" -> "B12")
//   Function   any other identifier: letters, then digits, then [A-Za-z0-9_]* (upper-cased)
//   Operator   + - * / % ^ & = < > <= >= <>
//   LParen RParen LBrace RBrace Comma Colon Semicolon Hash   ( ) { } , : ; #
//   Eof        appended by `tokenize` only
// White space is exactly tab, line feed, form feed, carriage return and space.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"

namespace tabrix {

enum class TokenType : uint8_t {
  Number,
  String,
  Boolean,
  CellRef,
  Function,
  Operator,
  LParen,
  RParen,
  LBrace,
  RBrace,
  Comma,
  Colon,
  Semicolon,
  Hash,
  Eof,
};

// The name of a token type as error messages print it ("RParen"). Cannot fail.
std::string_view token_type_name(TokenType type);

struct Token {
  std::string value;    // see the table above; "" for Eof
  size_t position = 0;  // first code point, including a leading "$" or the opening quote
  size_t length = 0;    // code points covered in the input
  TokenType token_type = TokenType::Eof;

  bool operator==(const Token&) const = default;
};

// Tokens read before the first lexical error, and the position at which the failing token
// began (after skipped white space); no position when the whole text was read.
struct PartialTokens {
  std::vector<Token> tokens;
  std::optional<size_t> error_position;
};

class Lexer {
 public:
  // Lexes a copy of `text`, starting at position 0. Malformed UTF-8 reads as U+FFFD, one
  // byte at a time.
  explicit Lexer(std::string_view text);

  // The next token after white space; nothing at the end of the input. Fails with
  // "Unterminated string", "Unexpected character: $ at position {}" or
  // "Unexpected character: {} at position {}".
  Result<std::optional<Token>, std::string> next_token();

  // All tokens followed by one Eof token (empty value, length 0, position = number of code
  // points). Fails with the first error of `next_token`; no tokens are returned then.
  Result<std::vector<Token>, std::string> tokenize();

  // From position 0: the tokens before the first error (no Eof token) and where the failing
  // token began. Cannot fail; the error text is dropped.
  PartialTokens tokenize_partial();

  // Current position in code points.
  size_t position() const { return cp_; }

 private:
  bool at_end() const { return byte_ >= text_.size(); }
  // The byte at `ahead` bytes past the current one, or 0 past the end. Every token
  // character is ASCII, so a byte look-ahead is a code point look-ahead there.
  char peek(size_t ahead = 0) const;
  void advance_ascii(size_t n = 1);
  void skip_white_space();

  Result<Token, std::string> read_string(char quote);
  Token read_number();
  Result<Token, std::string> read_identifier();
  std::string unexpected_character() const;
  Token single(TokenType type, size_t length);

  std::string text_;
  size_t byte_ = 0;  // byte offset of the current position
  size_t cp_ = 0;    // the same position in code points
};

}  // namespace tabrix
