// The copy/paste shift. It scans characters rather than tokens, so that it also rewrites
// formulas the lexer would reject; string literals are copied untouched and every other run
// of identifier characters that is not a reference passes through as written.
#include "core/refs.h"
#include "core/refs_frame.h"

namespace tabrix::refs {
namespace {

using refs_text::is_digit;
using refs_text::is_letter;

constexpr std::string_view kRefError = "#REF!";

bool is_word_char(char c) {
  return is_letter(c) || is_digit(c) || c == '_';
}

// A whole-row range "$3:$5" as matched in the source.
struct RowRangeMatch {
  LineMatch first;
  LineMatch second;
  size_t length;
};

class Shifter {
 public:
  Shifter(std::string_view text, int32_t d_row, int32_t d_col, uint32_t max_row, uint32_t max_col,
          std::string& out)
      : text_(text),
        d_row_(d_row),
        d_col_(d_col),
        max_row_(max_row),
        max_col_(max_col),
        out_(out) {}

  void run() {
    size_t i = 0;
    while (i < text_.size()) {
      char c = text_[i];
      if (c == '"' || c == '\'') {
        i = copy_string_literal(i);
      } else if (is_digit(c)) {
        i = at_digit(i);
      } else if (is_letter(c) || c == '$') {
        i = at_letter(i);
      } else {
        out_ += c;
        ++i;
      }
    }
  }

 private:
  // A component after the shift: absolute ones keep their value, relative ones move and must
  // stay within 1..bound. Nothing when it leaves the grid.
  static std::optional<uint32_t> move(uint32_t value, bool abs, int32_t delta, uint32_t bound) {
    if (abs) return value;
    int64_t v = int64_t(value) + delta;
    if (v < 1 || v > int64_t(bound)) return std::nullopt;
    return uint32_t(v);
  }

  // The shifted cell, or nothing when it leaves the grid.
  std::optional<CellMatch> shift_cell(const CellMatch& m) const {
    auto col = move(m.col, m.col_abs, d_col_, max_col_);
    auto row = move(m.row, m.row_abs, d_row_, max_row_);
    if (!col || !row) return std::nullopt;
    CellMatch moved = m;
    moved.col = *col;
    moved.row = *row;
    return moved;
  }

  static bool same(const CellMatch& a, const CellMatch& b) {
    return a.col == b.col && a.row == b.row;
  }

  void write(const CellMatch& m) { write_cell(m.col_abs, m.col, m.row_abs, m.row, out_); }

  size_t copy_string_literal(size_t i) {
    size_t close = text_.find(text_[i], i + 1);
    size_t stop = close == std::string_view::npos ? text_.size() : close + 1;
    out_.append(text_.substr(i, stop - i));
    return stop;
  }

  // Copies the run of letters, digits and "_" at i (an identifier or a number).
  size_t copy_word(size_t i) {
    size_t j = i;
    while (j < text_.size() && is_word_char(text_[j])) ++j;
    out_.append(text_.substr(i, j - i));
    return j;
  }

  bool followed_by(size_t i, char c) const { return i < text_.size() && text_[i] == c; }

  size_t at_letter(size_t i) {
    if (auto cell = parse_cell(text_, i)) {
      size_t after = i + cell->length;
      if (followed_by(after, '#')) return spill(i, *cell);
      if (followed_by(after, ':'))
        if (auto second = parse_cell(text_, after + 1)) return range(i, *cell, *second);
      return single(i, *cell);
    }
    if (auto first = parse_col_letters(text_, i)) {
      size_t after = i + first->length;
      if (followed_by(after, ':'))
        if (auto second = parse_col_letters(text_, after + 1))
          return line_range(i, *first, *second, d_col_, max_col_, /*letters=*/true);
    }
    if (text_[i] == '$') {
      if (auto rows = match_row_range(i)) return row_range(i, *rows);
      out_ += '$';
      return i + 1;
    }
    return copy_word(i);
  }

  size_t at_digit(size_t i) {
    if (auto rows = match_row_range(i)) return row_range(i, *rows);
    return copy_word(i);
  }

  size_t spill(size_t i, const CellMatch& m) {
    size_t stop = i + m.length + 1;
    auto moved = shift_cell(m);
    if (!moved) {
      out_ += kRefError;
    } else if (same(*moved, m)) {
      out_.append(text_.substr(i, stop - i));
    } else {
      write(*moved);
      out_ += '#';
    }
    return stop;
  }

  size_t range(size_t i, const CellMatch& a, const CellMatch& b) {
    size_t stop = i + a.length + 1 + b.length;
    auto ma = shift_cell(a), mb = shift_cell(b);
    if (!ma || !mb) {
      out_ += kRefError;
    } else if (same(*ma, a) && same(*mb, b)) {
      out_.append(text_.substr(i, stop - i));
    } else {
      write(*ma);
      out_ += ':';
      write(*mb);
    }
    return stop;
  }

  size_t single(size_t i, const CellMatch& m) {
    size_t stop = i + m.length;
    auto moved = shift_cell(m);
    if (!moved) {
      out_ += kRefError;
    } else if (same(*moved, m)) {
      out_.append(text_.substr(i, stop - i));
    } else {
      write(*moved);
    }
    return stop;
  }

  // An optional "$" and a row number, ":", an optional "$" and a row number.
  std::optional<RowRangeMatch> match_row_range(size_t i) const {
    auto endpoint = [&](size_t at) -> std::optional<LineMatch> {
      bool abs = followed_by(at, '$');
      auto m = parse_row_num(text_, at + abs);
      if (!m) return std::nullopt;
      m->abs = abs;
      m->length += abs;
      return m;
    };
    auto first = endpoint(i);
    if (!first || !followed_by(i + first->length, ':')) return std::nullopt;
    auto second = endpoint(i + first->length + 1);
    if (!second) return std::nullopt;
    return RowRangeMatch{*first, *second, first->length + 1 + second->length};
  }

  size_t row_range(size_t i, const RowRangeMatch& m) {
    return line_range(i, m.first, m.second, d_row_, max_row_, /*letters=*/false);
  }

  // A whole-column ("$A:C") or whole-row ("3:$5") range; endpoints are written as "$" and
  // letters or decimal digits.
  size_t line_range(size_t i, const LineMatch& a, const LineMatch& b, int32_t delta, uint32_t bound,
                    bool letters) {
    size_t stop = i + a.length + 1 + b.length;
    auto na = move(a.number, a.abs, delta, bound);
    auto nb = move(b.number, b.abs, delta, bound);
    if (!na || !nb) {
      out_ += kRefError;
    } else if (*na == a.number && *nb == b.number) {
      out_.append(text_.substr(i, stop - i));
    } else {
      write_line(a.abs, *na, letters);
      out_ += ':';
      write_line(b.abs, *nb, letters);
    }
    return stop;
  }

  void write_line(bool abs, uint32_t number, bool letters) {
    if (abs) out_ += '$';
    if (letters) {
      append_col_letters(out_, number);
    } else {
      refs_text::append_decimal(out_, number);
    }
  }

  std::string_view text_;
  int32_t d_row_, d_col_;
  uint32_t max_row_, max_col_;
  std::string& out_;
};

}  // namespace

std::string shift_formula_refs(std::string_view formula, int32_t d_row, int32_t d_col,
                               uint32_t max_row, uint32_t max_col) {
  if (formula.empty() || formula[0] != '=' || (d_row == 0 && d_col == 0) || max_row == 0 ||
      max_col == 0)
    return std::string(formula);
  std::string out;
  out.reserve(formula.size() + formula.size() / 4 + 8);
  out += '=';
  Shifter(formula.substr(1), d_row, d_col, max_row, max_col, out).run();
  return out;
}

}  // namespace tabrix::refs
