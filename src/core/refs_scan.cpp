// Reference scanning: the character-level matchers, the reference writers, the reading of
// cell-reference tokens and `extract_refs` with its table of token patterns.
#include <algorithm>

#include "core/refs.h"
#include "core/refs_frame.h"

namespace tabrix {

std::string_view formula_ref_kind_text(FormulaRefKind kind) {
  switch (kind) {
    case FormulaRefKind::Cell:
      return "cell";
    case FormulaRefKind::Range:
      return "range";
    case FormulaRefKind::WholeColumn:
      return "whole_column";
    case FormulaRefKind::WholeRow:
      return "whole_row";
    case FormulaRefKind::Name:
      return "name";
    case FormulaRefKind::Spill:
      return "spill";
  }
  return "cell";
}

namespace refs {

using refs_text::is_digit;
using refs_text::is_letter;

// ---- Reading numbers and letters ----

uint32_t column_from_letters(std::string_view letters) {
  uint64_t n = 0;
  for (char c : letters) {
    n = n * 26 + uint64_t((c | 0x20) - 'a' + 1);
    if (n >= UINT32_MAX) return UINT32_MAX;  // saturates; later letters cannot lower it
  }
  return uint32_t(n);
}

std::optional<RefParts> parse_ref(std::string_view token_text) {
  size_t d = 0;
  while (d < token_text.size() && !is_digit(token_text[d])) {
    if (!is_letter(token_text[d])) return std::nullopt;
    ++d;
  }
  if (d == 0 || d == token_text.size()) return std::nullopt;
  auto row = refs_text::parse_u32(token_text.substr(d));
  if (!row) return std::nullopt;
  return RefParts{token_text.substr(0, d), *row};
}

// ---- Character-level matchers ----

namespace {

// The column number of a letter run, or nothing when it does not fit 32 bits.
std::optional<uint32_t> letters_number(std::string_view letters) {
  uint64_t n = 0;
  for (char c : letters) {
    n = n * 26 + uint64_t((c | 0x20) - 'a' + 1);
    if (n > UINT32_MAX) return std::nullopt;
  }
  return uint32_t(n);
}

size_t letter_run_end(std::string_view text, size_t i) {
  while (i < text.size() && is_letter(text[i])) ++i;
  return i;
}

size_t digit_run_end(std::string_view text, size_t i) {
  while (i < text.size() && is_digit(text[i])) ++i;
  return i;
}

}  // namespace

std::optional<CellMatch> parse_cell(std::string_view text, size_t offset) {
  CellMatch m;
  size_t i = offset;
  if (i < text.size() && text[i] == '$') {
    m.col_abs = true;
    ++i;
  }
  size_t letters_start = i;
  i = letter_run_end(text, i);
  if (i == letters_start || i == text.size()) return std::nullopt;
  std::string_view letters = text.substr(letters_start, i - letters_start);
  if (text[i] == '$') {
    m.row_abs = true;
    if (++i == text.size()) return std::nullopt;
  }
  size_t digits_start = i;
  i = digit_run_end(text, i);
  if (i == digits_start) return std::nullopt;
  if (i < text.size() && (is_letter(text[i]) || text[i] == '_')) return std::nullopt;
  auto col = letters_number(letters);
  auto row = refs_text::parse_u32(text.substr(digits_start, i - digits_start));
  if (!col || !row || *row == 0) return std::nullopt;
  m.length = i - offset;
  m.col = *col;
  m.row = *row;
  return m;
}

std::optional<LineMatch> parse_col_letters(std::string_view text, size_t offset) {
  LineMatch m;
  size_t i = offset;
  if (i < text.size() && text[i] == '$') {
    m.abs = true;
    ++i;
  }
  size_t letters_start = i;
  i = letter_run_end(text, i);
  if (i == letters_start) return std::nullopt;
  if (i < text.size() && (text[i] == '_' || is_digit(text[i]))) return std::nullopt;
  auto col = letters_number(text.substr(letters_start, i - letters_start));
  if (!col) return std::nullopt;
  m.length = i - offset;
  m.number = *col;
  return m;
}

std::optional<LineMatch> parse_row_num(std::string_view text, size_t offset) {
  size_t i = digit_run_end(text, offset);
  if (i == offset) return std::nullopt;
  if (i < text.size() && (is_letter(text[i]) || text[i] == '.' || text[i] == '_'))
    return std::nullopt;
  auto row = refs_text::parse_u32(text.substr(offset, i - offset));
  if (!row || *row == 0) return std::nullopt;
  return LineMatch{i - offset, *row, false};
}

// ---- Writers ----

void append_col_letters(std::string& out, uint64_t n) {
  char buf[16];  // 26^14 > 2^64
  size_t k = sizeof buf;
  while (n > 0) {
    --n;
    buf[--k] = char('A' + n % 26);
    n /= 26;
  }
  out.append(buf + k, sizeof buf - k);
}

void write_cell(bool col_abs, uint64_t col, bool row_abs, uint64_t row, std::string& out) {
  if (col_abs) out += '$';
  append_col_letters(out, col);
  if (row_abs) out += '$';
  refs_text::append_decimal(out, row);
}

void write_cell_indexed(bool col_abs, uint32_t col, bool row_abs, uint32_t row, std::string& out) {
  write_cell(col_abs, uint64_t(col) + 1, row_abs, uint64_t(row) + 1, out);
}

std::string format_cell(uint32_t col, uint32_t row) {
  std::string out;
  write_cell_indexed(false, col, false, row, out);
  return out;
}

// ---- extract_refs ----

namespace {

// A cell-reference token's 0-based position when it is a valid endpoint: a readable row of at
// least 1 and a usable column.
std::optional<CellCoord> endpoint_cell(const Token& t) {
  auto parts = parse_ref(t.value);
  if (!parts || parts->row == 0) return std::nullopt;
  uint32_t col = column_from_letters(parts->letters);
  if (col == UINT32_MAX) return std::nullopt;
  return CellCoord{parts->row - 1, col - 1};
}

// Every cell of the rectangle between two corners, row by row, within the cell budgets.
void list_rectangle(CellCoord a, CellCoord b, uint64_t& budget, std::vector<CellCoord>& out) {
  uint32_t r0 = std::min(a.row, b.row), r1 = std::max(a.row, b.row);
  uint32_t c0 = std::min(a.col, b.col), c1 = std::max(a.col, b.col);
  uint64_t count = (uint64_t(r1 - r0) + 1) * (uint64_t(c1 - c0) + 1);
  if (count > kMaxRangeCells || count > budget) return;
  budget -= count;
  out.reserve(size_t(count));
  for (uint64_t r = r0; r <= r1; ++r)
    for (uint64_t c = c0; c <= c1; ++c) out.push_back(CellCoord{uint32_t(r), uint32_t(c)});
}

}  // namespace

std::vector<FormulaRef> extract_refs(std::string_view formula) {
  std::vector<FormulaRef> found;
  if (formula.empty() || formula[0] != '=') return found;
  auto tokens = Lexer(formula.substr(1)).tokenize();
  if (!tokens) return found;
  const std::vector<Token>& toks = *tokens;
  refs_text::CharCursor cursor(formula);
  uint64_t budget = kMaxFormulaCells;
  for (size_t i = 0; i < toks.size();) {
    TokenPattern p = match_token_pattern(toks, i);
    if (p.kind == TokenPattern::None) {
      i += p.consumed;
      continue;
    }
    const Token& first = toks[i];
    const Token& last = toks[i + p.consumed - 1];
    FormulaRef ref;
    ref.start = 1 + first.position;
    ref.end = 1 + last.position + last.length;
    switch (p.kind) {
      case TokenPattern::Cell:
      case TokenPattern::Spill:
        ref.kind = p.kind == TokenPattern::Cell ? FormulaRefKind::Cell : FormulaRefKind::Spill;
        if (auto c = endpoint_cell(first)) ref.cells.push_back(*c);
        break;
      case TokenPattern::Range:
        ref.kind = FormulaRefKind::Range;
        if (auto a = endpoint_cell(first))
          if (auto b = endpoint_cell(last)) list_rectangle(*a, *b, budget, ref.cells);
        break;
      case TokenPattern::WholeColumn:
        ref.kind = FormulaRefKind::WholeColumn;
        break;
      case TokenPattern::WholeRow:
        ref.kind = FormulaRefKind::WholeRow;
        break;
      case TokenPattern::Name:
        ref.kind = FormulaRefKind::Name;
        ref.text = first.value;
        break;
      case TokenPattern::None:
        break;
    }
    if (ref.kind != FormulaRefKind::Name) ref.text = std::string(cursor.slice(ref.start, ref.end));
    found.push_back(std::move(ref));
    i += p.consumed;
  }
  return found;
}

// The pattern table: at token i, the first matching row decides.
TokenPattern match_token_pattern(const std::vector<Token>& toks, size_t i) {
  auto type_at = [&](size_t k) {
    return k < toks.size() ? std::optional<TokenType>(toks[k].token_type) : std::nullopt;
  };
  auto column_word = [&](size_t k) {
    return type_at(k) == TokenType::Function && refs_text::all_letters(toks[k].value);
  };
  switch (toks[i].token_type) {
    case TokenType::Number:
      if (type_at(i + 1) == TokenType::Colon && type_at(i + 2) == TokenType::Number)
        return {TokenPattern::WholeRow, 3};
      break;
    case TokenType::CellRef:
      if (type_at(i + 1) == TokenType::Colon && type_at(i + 2) == TokenType::CellRef)
        return {TokenPattern::Range, 3};
      if (type_at(i + 1) == TokenType::Hash) return {TokenPattern::Spill, 2};
      return {TokenPattern::Cell, 1};
    case TokenType::Function:
      if (column_word(i) && type_at(i + 1) == TokenType::Colon && column_word(i + 2))
        return {TokenPattern::WholeColumn, 3};
      if (type_at(i + 1) == TokenType::LParen) return {TokenPattern::None, 1};
      return {TokenPattern::Name, 1};
    default:
      break;
  }
  return {TokenPattern::None, 1};
}

}  // namespace refs
}  // namespace tabrix
