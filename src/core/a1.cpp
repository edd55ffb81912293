#include "core/a1.h"

#include "core/unicode.h"

namespace tabrix {

std::string RangeParseError::display() const {
  switch (kind) {
    case Kind::Empty:
      return "Empty: range string is empty";
    case Kind::UnknownShape:
      return "UnknownShape: input does not match any supported range form";
    case Kind::InvalidColumn:
      return "InvalidColumn: " + quoted_form(text);
    case Kind::InvalidRow:
      return "InvalidRow: " + quoted_form(text);
  }
  return {};
}

namespace range {
namespace {

Failure<RangeParseError> error(RangeParseError::Kind kind, std::string_view text = {}) {
  return {{kind, std::string(text)}};
}

bool is_ascii_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Drops white space and "$", upper-cases ASCII letters; other characters stay.
std::string clean(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t start = i;
    char32_t c = decode_utf8(text, i);
    if (c == '$' || is_white_space(c)) continue;
    if (c >= 'a' && c <= 'z') {
      out += char(c - 'a' + 'A');
    } else {
      out.append(text.substr(start, i - start));
    }
  }
  return out;
}

size_t leading_letters(std::string_view s) {
  size_t n = 0;
  while (n < s.size() && is_ascii_letter(s[n])) ++n;
  return n;
}

}  // namespace

RangeResult<uint32_t> col_to_index(std::string_view letters) {
  auto invalid = [&] { return error(RangeParseError::Kind::InvalidColumn, letters); };
  if (letters.empty()) return invalid();
  uint64_t n = 0;
  for (char c : letters) {
    if (!is_ascii_letter(c)) return invalid();
    n = n * 26 + uint64_t((c | 0x20) - 'a' + 1);
    if (n > UINT32_MAX) return invalid();
  }
  return uint32_t(n - 1);
}

std::string index_to_col(uint32_t index) {
  uint32_t n = index == UINT32_MAX ? index : index + 1;
  std::string out;
  do {
    --n;
    out.insert(out.begin(), char('A' + n % 26));
    n /= 26;
  } while (n > 0);
  return out;
}

std::string format_cell_id(uint32_t row, uint32_t col) {
  std::string out = index_to_col(col);
  out += std::to_string(uint64_t(row) + 1);
  return out;
}

std::string cell_id(uint32_t row, uint32_t col) {
  return format_cell_id(row, col);
}

RangeResult<std::optional<uint32_t>> parse_row_opt(std::string_view text) {
  if (text.empty()) return std::optional<uint32_t>();
  uint64_t n = 0;
  bool overflow = false;
  for (char c : text) {
    if (c < '0' || c > '9') return error(RangeParseError::Kind::UnknownShape);
    n = n * 10 + uint64_t(c - '0');
    if (n > UINT32_MAX) {
      overflow = true;
      n = UINT32_MAX + uint64_t(1);  // keep scanning for non-digits without overflowing
    }
  }
  if (overflow || n == 0) return error(RangeParseError::Kind::InvalidRow, text);
  return std::optional<uint32_t>(uint32_t(n));
}

RangeResult<CellCoord> parse_cell_id(std::string_view text) {
  std::string s = clean(text);
  if (s.empty()) return error(RangeParseError::Kind::Empty);
  if (s.find(':') != std::string::npos) return error(RangeParseError::Kind::UnknownShape);
  size_t n = leading_letters(s);
  if (n == 0) return error(RangeParseError::Kind::UnknownShape);
  auto row = parse_row_opt(std::string_view(s).substr(n));
  if (!row) return fail(row.error());
  auto r = *row;
  if (!r) return error(RangeParseError::Kind::UnknownShape);
  auto col = col_to_index(std::string_view(s).substr(0, n));
  if (!col) return fail(col.error());
  return CellCoord{*r - 1, *col};
}

RangeResult<ParsedRange> parse_range(std::string_view text) {
  std::string s = clean(text);
  if (s.empty()) return error(RangeParseError::Kind::Empty);
  size_t colon = s.find(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == s.size() ||
      s.find(':', colon + 1) != std::string::npos)
    return error(RangeParseError::Kind::UnknownShape);
  std::string_view parts[2] = {std::string_view(s).substr(0, colon),
                               std::string_view(s).substr(colon + 1)};
  std::string_view letters[2], digits[2];
  for (int k = 0; k < 2; ++k) {
    size_t n = leading_letters(parts[k]);
    if (n == 0) return error(RangeParseError::Kind::UnknownShape);
    letters[k] = parts[k].substr(0, n);
    digits[k] = parts[k].substr(n);
  }
  std::optional<uint32_t> rows[2];
  for (int k = 0; k < 2; ++k) {
    auto r = parse_row_opt(digits[k]);
    if (!r) return fail(r.error());
    rows[k] = *r;
  }
  uint32_t cols[2];
  for (int k = 0; k < 2; ++k) {
    auto c = col_to_index(letters[k]);
    if (!c) return fail(c.error());
    cols[k] = *c;
  }
  ParsedRange out;
  if (rows[0] && rows[1]) {
    out.start.row = std::min(*rows[0], *rows[1]) - 1;
    out.end_row = std::max(*rows[0], *rows[1]) - 1;
  } else if (!rows[0] && !rows[1]) {
    out.start.row = 0;
  } else if (rows[0]) {
    out.start.row = *rows[0] - 1;
  } else {
    return error(RangeParseError::Kind::UnknownShape);
  }
  out.start.col = std::min(cols[0], cols[1]);
  out.end_col = std::max(cols[0], cols[1]);
  out.normalized = std::move(s);
  return out;
}

bool is_unbounded_range(std::string_view text) {
  auto r = parse_range(text);
  return r && r->unbounded();
}

}  // namespace range
}  // namespace tabrix
