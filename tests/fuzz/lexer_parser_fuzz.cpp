// Fuzz target: the lexer (`tokenize`, `tokenize_partial`) and the parser on any bytes.
//
// Invariants checked for every input:
// - `tokenize_partial` never fails; its tokens are non-empty, in order, do not overlap and lie
//   inside the text; an error position lies after the last token and inside the text.
// - `tokenize` succeeds exactly when `tokenize_partial` read the whole text, and then yields
//   the same tokens followed by one Eof at the end of the text.
// - Identifier tokens are upper-case ASCII; a string token's value is its inner characters.
// - The parser fails with the lexer's own message when the lexer fails; a tree it builds
//   clones to an identical tree.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ast.h"
#include "core/lexer.h"
#include "core/parser.h"
#include "core/unicode.h"
#include "fuzz_support.h"

namespace tabrix {
namespace {

bool is_identifier_text(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

// The code points [from, to) of `text` as bytes.
std::string_view slice(std::string_view text, size_t from, size_t to) {
  size_t b = byte_offset_of(text, from);
  return text.substr(b, byte_offset_of(text, to) - b);
}

void check_tokens(std::string_view text) {
  const size_t n = fuzz::decoded_length(text);
  PartialTokens partial = Lexer(text).tokenize_partial();
  size_t end = 0;
  for (const Token& t : partial.tokens) {
    FUZZ_CHECK(t.length > 0 && t.position >= end && t.position + t.length <= n, text);
    FUZZ_CHECK(t.token_type != TokenType::Eof, text);
    end = t.position + t.length;
    switch (t.token_type) {
      case TokenType::CellRef:
      case TokenType::Function:
      case TokenType::Boolean:
        FUZZ_CHECK(is_identifier_text(t.value), text);
        break;
      case TokenType::String:
        FUZZ_CHECK(t.length >= 2 && t.value == slice(text, t.position + 1, end - 1), text);
        break;
      default:
        break;
    }
  }
  if (partial.error_position)
    FUZZ_CHECK(*partial.error_position >= end && *partial.error_position < n, text);

  auto full = Lexer(text).tokenize();
  FUZZ_CHECK(full.ok() == !partial.error_position, text);
  if (!full.ok()) return;
  const auto& tokens = *full;
  FUZZ_CHECK(tokens.size() == partial.tokens.size() + 1, text);
  for (size_t i = 0; i < partial.tokens.size(); ++i)
    FUZZ_CHECK(tokens[i] == partial.tokens[i], text);
  const Token& eof = tokens.back();
  FUZZ_CHECK(
      eof.token_type == TokenType::Eof && eof.position == n && eof.length == 0 && eof.value.empty(),
      text);
}

void check_parse(std::string_view text) {
  auto tree = Parser::parse(text);
  std::string_view body = text.substr(!text.empty() && text[0] == '=' ? 1 : 0);
  auto tokens = Lexer(body).tokenize();
  if (!tokens.ok()) {
    FUZZ_CHECK(!tree.ok() && tree.error() == tokens.error(), text);
    return;
  }
  if (!tree.ok()) {
    FUZZ_CHECK(!tree.error().empty(), text);
    return;
  }
  AstNode copy = clone_ast(*tree);
  FUZZ_CHECK(to_prefix_text(copy) == to_prefix_text(*tree), text);
}

}  // namespace
}  // namespace tabrix

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text = tabrix::fuzz::as_view(data, size);
  tabrix::check_tokens(text);
  tabrix::check_parse(text);
  return 0;
}
