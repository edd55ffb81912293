// Token classification for syntax highlighting: `formula_tokens` splits every character of a
// formula after its leading "=" into spans of one kind each, in source order, without gaps or
// overlaps. It reads the lexer's partial mode, so an unfinished formula is still coloured: the
// tokens recognised before a lexical error come first, then one "unknown" span for the rest.
//
// A range written as three tokens (A1:B2, A:C, 3:5, with any spaces between them) is one
// "range" span; the spill "#" is an operator of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tabrix {

enum class TokenSpanKind : uint8_t {
  Number,      // "number"
  String,      // "string", quotes included
  Boolean,     // "boolean"
  CellRef,     // "cell_ref"
  Range,       // "range"
  Name,        // "name": an identifier not followed by "("
  Function,    // "function": an identifier followed by "("
  Operator,    // "operator", ":" and "#" included
  Paren,       // "paren": ( ) { }
  Comma,       // "comma": , ;
  Whitespace,  // "whitespace": between tokens and after the last one
  Unknown,     // "unknown": from a lexical error to the end
};

// The text a kind is reported as ("cell_ref"). Cannot fail.
std::string_view token_span_kind_text(TokenSpanKind kind);

struct TokenSpan {
  size_t start = 0;  // characters of the whole formula, "=" being 0
  size_t end = 0;    // exclusive
  TokenSpanKind kind = TokenSpanKind::Unknown;

  bool operator==(const TokenSpan&) const = default;
};

// The spans of a formula; empty for the empty text, a text without a leading "=", and "="
// alone. Cannot fail.
std::vector<TokenSpan> formula_tokens(std::string_view formula);

}  // namespace tabrix
