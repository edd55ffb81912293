// Internals shared by the reference scanner and rewriters (not part of the engine's interface):
// ASCII character classes and number reading, a cursor from character offsets to byte offsets,
// the token pattern table, and the rewriting frame used by insertion, deletion and block moves:
// tokenize, recognise references, collect `RefEdit`s, splice them into the source text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/lexer.h"
#include "core/refs.h"
#include "core/unicode.h"

namespace tabrix::refs {

namespace refs_text {

inline bool is_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
inline bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

inline bool all_letters(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!is_letter(c)) return false;
  return true;
}

// A non-empty run of ASCII digits read as a number that fits 32 bits; nothing otherwise.
inline std::optional<uint32_t> parse_u32(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  uint64_t n = 0;
  for (char c : digits) {
    if (!is_digit(c)) return std::nullopt;
    n = n * 10 + uint64_t(c - '0');
    if (n > UINT32_MAX) return std::nullopt;
  }
  return uint32_t(n);
}

inline void append_decimal(std::string& out, uint64_t n) {
  char buf[20];
  size_t k = sizeof buf;
  do {
    buf[--k] = char('0' + n % 10);
    n /= 10;
  } while (n > 0);
  out.append(buf + k, sizeof buf - k);
}

// Turns character offsets into byte offsets of one text. Offsets asked in increasing order
// cost one pass over the text in all; a smaller offset restarts from the beginning.
class CharCursor {
 public:
  explicit CharCursor(std::string_view text) : text_(text) {}

  // The byte offset of character `n`, or the text's size when `n` is past its end.
  size_t byte_of(size_t n) {
    if (n < chars_) chars_ = bytes_ = 0;
    while (chars_ < n && bytes_ < text_.size()) {
      decode_utf8(text_, bytes_);
      ++chars_;
    }
    return bytes_;
  }
  // The characters [start, end).
  std::string_view slice(size_t start, size_t end) {
    size_t b0 = byte_of(start);
    size_t b1 = byte_of(end);
    return b1 > b0 ? text_.substr(b0, b1 - b0) : std::string_view();
  }

 private:
  std::string_view text_;
  size_t chars_ = 0;
  size_t bytes_ = 0;
};

}  // namespace refs_text

// The reference a token pattern makes at a token, and how many tokens it consumes.
struct TokenPattern {
  enum Kind : uint8_t { None, Cell, Range, WholeColumn, WholeRow, Name, Spill };
  Kind kind;
  size_t consumed;
};
// Applies the pattern table at token `i` (i < toks.size()). Cannot fail.
TokenPattern match_token_pattern(const std::vector<Token>& toks, size_t i);

// ---- The rewriting frame ----

// A cell endpoint, 0-based, with the "$" markers read from the source.
struct FrameCell {
  bool valid = false;
  uint32_t col = 0;
  uint32_t row = 0;
  bool col_abs = false;
  bool row_abs = false;
};

// A whole-row or whole-column endpoint, 0-based.
struct FrameLine {
  bool valid = false;
  uint32_t index = 0;
  bool abs = false;
};

// One of the four references the rewriters handle. A cell followed by "#" is a plain cell
// here (the "#" stays outside its span); names and function calls are never reported.
struct FrameRef {
  enum Kind : uint8_t { Cell, Range, WholeRow, WholeColumn };
  Kind kind = Cell;
  FrameCell cell[2];  // Cell uses cell[0]; Range both
  FrameLine line[2];  // WholeRow and WholeColumn
  size_t start = 0;   // character span of the whole reference in the formula
  size_t end = 0;
  size_t first_end = 0;     // end of the first endpoint's token
  size_t second_start = 0;  // start of the second endpoint's token (ranges)
};

// The references of a formula in source order, or nothing when the text does not begin with
// "=" or the lexer rejects it. Cannot fail.
std::optional<std::vector<FrameRef>> scan_frame_refs(std::string_view formula);

// The formula with each edit's characters replaced by its text. The edits must be in source
// order and must not overlap. Cannot fail.
std::string splice_edits(std::string_view formula, const std::vector<RefEdit>& edits);

// Runs the frame with `rewrite(ref, edits)` called for each reference; returns the formula
// unchanged when it is not scannable or no edit was recorded.
template <class Rewrite>
std::string rewrite_each_ref(std::string_view formula, Rewrite&& rewrite) {
  auto found = scan_frame_refs(formula);
  if (!found) return std::string(formula);
  std::vector<RefEdit> edits;
  for (const FrameRef& ref : *found) rewrite(ref, edits);
  if (edits.empty()) return std::string(formula);
  return splice_edits(formula, edits);
}

}  // namespace tabrix::refs
