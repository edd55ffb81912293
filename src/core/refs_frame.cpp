// The rewriting frame shared by insertion, deletion and block moves: tokenize the formula,
// recognise the four rewritable reference shapes with the pattern table, read their endpoints
// and "$" markers, and splice replacement texts back into the source.
#include "core/refs_frame.h"

namespace tabrix::refs {
namespace {

using refs_text::CharCursor;

// Reads a cell-reference token whose source starts at byte `b` of `formula`. The lexer drops
// "$" from token values, so the markers come from the source: the column is absolute when the
// span begins with "$", the row when a "$" follows that and the letters.
FrameCell read_cell(const Token& t, std::string_view formula, size_t b) {
  FrameCell c;
  size_t i = b;
  if (i < formula.size() && formula[i] == '$') {
    c.col_abs = true;
    ++i;
  }
  while (i < formula.size() && refs_text::is_letter(formula[i])) ++i;
  c.row_abs = i < formula.size() && formula[i] == '$';
  auto parts = parse_ref(t.value);
  if (!parts || parts->row == 0) return c;
  uint32_t col = column_from_letters(parts->letters);
  if (col == UINT32_MAX) return c;
  c.valid = true;
  c.col = col - 1;
  c.row = parts->row - 1;
  return c;
}

bool marked(std::string_view formula, size_t b) {
  return b < formula.size() && formula[b] == '$';
}

// A whole-row endpoint: valid when the number token is a decimal from 1 to 4294967295.
FrameLine read_row_line(const Token& t, std::string_view formula, size_t b) {
  FrameLine l;
  l.abs = marked(formula, b);
  auto n = refs_text::parse_u32(t.value);
  if (n && *n > 0) {
    l.valid = true;
    l.index = *n - 1;
  }
  return l;
}

// A whole-column endpoint: always usable; a column too large for 32 bits saturates.
FrameLine read_col_line(const Token& t, std::string_view formula, size_t b) {
  FrameLine l;
  l.abs = marked(formula, b);
  l.valid = true;
  uint32_t n = column_from_letters(t.value);
  l.index = n > 0 ? n - 1 : 0;
  return l;
}

}  // namespace

std::optional<std::vector<FrameRef>> scan_frame_refs(std::string_view formula) {
  if (formula.empty() || formula[0] != '=') return std::nullopt;
  auto tokens = Lexer(formula.substr(1)).tokenize();
  if (!tokens) return std::nullopt;
  const std::vector<Token>& toks = *tokens;
  CharCursor cursor(formula);
  std::vector<FrameRef> found;
  for (size_t i = 0; i < toks.size();) {
    TokenPattern p = match_token_pattern(toks, i);
    const Token& first = toks[i];
    const Token& last = toks[i + p.consumed - 1];
    FrameRef ref;
    ref.start = 1 + first.position;
    ref.first_end = ref.start + first.length;
    ref.second_start = 1 + last.position;
    ref.end = ref.second_start + last.length;
    size_t b0 = 0, b1 = 0;
    switch (p.kind) {
      case TokenPattern::Cell:
      case TokenPattern::Spill:  // the "#" is not part of the cell here
        ref.kind = FrameRef::Cell;
        ref.end = ref.first_end;
        ref.cell[0] = read_cell(first, formula, cursor.byte_of(ref.start));
        found.push_back(ref);
        i += 1;
        continue;
      case TokenPattern::Range:
        ref.kind = FrameRef::Range;
        b0 = cursor.byte_of(ref.start);
        b1 = cursor.byte_of(ref.second_start);
        ref.cell[0] = read_cell(first, formula, b0);
        ref.cell[1] = read_cell(last, formula, b1);
        break;
      case TokenPattern::WholeRow:
        ref.kind = FrameRef::WholeRow;
        b0 = cursor.byte_of(ref.start);
        b1 = cursor.byte_of(ref.second_start);
        ref.line[0] = read_row_line(first, formula, b0);
        ref.line[1] = read_row_line(last, formula, b1);
        break;
      case TokenPattern::WholeColumn:
        ref.kind = FrameRef::WholeColumn;
        b0 = cursor.byte_of(ref.start);
        b1 = cursor.byte_of(ref.second_start);
        ref.line[0] = read_col_line(first, formula, b0);
        ref.line[1] = read_col_line(last, formula, b1);
        break;
      default:  // names, function calls and everything else are skipped
        i += p.consumed;
        continue;
    }
    found.push_back(ref);
    i += p.consumed;
  }
  return found;
}

std::string splice_edits(std::string_view formula, const std::vector<RefEdit>& edits) {
  size_t extra = 0;
  for (const RefEdit& e : edits) extra += e.text.size();
  std::string out;
  out.reserve(formula.size() + extra);
  CharCursor cursor(formula);
  size_t copied = 0;  // bytes of the formula already in `out`
  for (const RefEdit& e : edits) {
    size_t b0 = cursor.byte_of(e.start);
    size_t b1 = cursor.byte_of(e.end);
    if (b0 < copied || b1 < b0) continue;  // overlapping or reversed: not produced by the frame
    out.append(formula.substr(copied, b0 - copied));
    out += e.text;
    copied = b1;
  }
  out.append(formula.substr(copied));
  return out;
}

}  // namespace tabrix::refs
