#include "core/dag.h"

#include "core/ast.h"

namespace tabrix::dag {

uint32_t column_number(std::string_view letters) {
  uint64_t n = 0;
  for (unsigned char b : letters) {
    n = n * 26 + uint64_t(uint8_t(b - 65)) + 1;
    if (n >= UINT32_MAX) return UINT32_MAX;
  }
  return uint32_t(n);
}

std::string column_letters(uint64_t n) {
  char buf[16];
  size_t len = 0;
  while (n > 0) {
    uint64_t m = n - 1;
    buf[len++] = char('A' + m % 26);
    n = m / 26;
  }
  return std::string(std::reverse_iterator(buf + len), std::reverse_iterator(buf));
}

namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::optional<uint32_t> row_number(std::string_view s) {
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  uint64_t n = 0;
  for (char c : s) {
    if (!is_digit(c)) return std::nullopt;
    n = n * 10 + uint64_t(c - '0');
    if (n > UINT32_MAX) return std::nullopt;
  }
  return uint32_t(n);
}

std::optional<ColRow> parse_cell_id(std::string_view text) {
  size_t digit = 0;
  while (digit < text.size() && !is_digit(text[digit])) ++digit;
  if (digit == text.size() || digit == 0) return std::nullopt;
  for (size_t i = 0; i < digit; ++i)
    if (!is_letter(text[i])) return std::nullopt;
  // (A "+" would stand before the first digit and fail the letter check above.)
  auto row = row_number(text.substr(digit));
  if (!row || *row == 0) return std::nullopt;
  return ColRow{column_number(text.substr(0, digit)), *row};
}

bool is_canonical_cell_id(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] >= 'A' && text[i] <= 'Z') ++i;
  if (i == 0 || i == text.size() || text[i] == '0') return false;
  for (size_t j = i; j < text.size(); ++j)
    if (!is_digit(text[j])) return false;
  return true;
}

void expand_rect(std::vector<std::string>& out, std::string_view letters1, uint32_t row1,
                 std::string_view letters2, uint32_t row2) {
  uint64_t c1 = column_number(letters1), c2 = column_number(letters2);
  uint64_t r_lo = std::min(row1, row2), r_hi = std::max(row1, row2);
  uint64_t c_lo = std::min(c1, c2), c_hi = std::max(c1, c2);
  // Each side is checked first so that the product of two 32-bit spans cannot wrap.
  const uint64_t rows = r_hi - r_lo + 1, cols = c_hi - c_lo + 1;
  if (rows > 100000 || cols > 100000 || rows * cols > 100000) return;
  std::vector<std::string> letters;
  for (uint64_t c = c_lo; c <= c_hi; ++c) letters.push_back(column_letters(c));
  for (uint64_t r = r_lo; r <= r_hi; ++r) {
    std::string row = std::to_string(r);
    for (const std::string& l : letters) out.push_back(l + row);
  }
}

void collect_refs_inner(const AstNode& node, std::vector<std::string>& out, uint32_t max_row,
                        uint32_t max_col) {
  walk(node, [&](const AstNode& n) {
    if (auto* c = n.get_if<AstNode::CellRef>()) {
      out.push_back(c->col + std::to_string(c->row));
    } else if (auto* r = n.get_if<AstNode::Range>()) {
      expand_rect(out, r->start_col, r->start_row, r->end_col, r->end_row);
    } else if (auto* cr = n.get_if<AstNode::ColumnRange>()) {
      expand_rect(out, cr->start_col, 1, cr->end_col, max_row);
    } else if (auto* rr = n.get_if<AstNode::RowRange>()) {
      expand_rect(out, "A", rr->start_row, column_letters(max_col), rr->end_row);
    } else if (auto* s = n.get_if<AstNode::SpillRef>()) {
      out.push_back(s->col + std::to_string(s->row));
    }
  });
}

}  // namespace tabrix::dag
