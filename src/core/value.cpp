#include "core/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/unicode.h"

namespace tabrix {

namespace {

struct StandardError {
  FormulaError::Kind kind;
  std::string_view text;
};

// Kinds whose display text is fixed; `Value` and `Size` without detail share this table.
constexpr StandardError kStandardErrors[] = {
    {FormulaError::Kind::DivZero, "#DIV/0!"},     {FormulaError::Kind::Ref, "#REF!"},
    {FormulaError::Kind::Name, "#NAME?"},         {FormulaError::Kind::Spill, "#SPILL!"},
    {FormulaError::Kind::Loading, "#LOADING!"},   {FormulaError::Kind::NotAvailable, "#N/A"},
    {FormulaError::Kind::Circular, "#CIRCULAR!"}, {FormulaError::Kind::Value, "#VALUE!"},
    {FormulaError::Kind::Size, "#SIZE!"},
};

std::string_view standard_text(FormulaError::Kind kind) {
  for (const auto& e : kStandardErrors)
    if (e.kind == kind) return e.text;
  return {};
}

std::string_view trim_leading_white_space(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    size_t next = i;
    if (!is_white_space(decode_utf8(s, next))) break;
    i = next;
  }
  return s.substr(i);
}

bool all_white_space(std::string_view s) {
  return trim_leading_white_space(s).empty();
}

}  // namespace

FormulaError FormulaError::from_text(std::string_view text) {
  for (const auto& e : kStandardErrors)
    if (text == e.text && e.kind != Kind::Circular) return {e.kind, {}};
  constexpr std::string_view kCircular = "#CIRCULAR!", kValue = "#VALUE!", kSize = "#SIZE!";
  if (text.starts_with(kCircular)) {
    if (all_white_space(text.substr(kCircular.size()))) return circular();
    return other(std::string(text));
  }
  if (text.starts_with(kValue))
    return value(std::string(trim_leading_white_space(text.substr(kValue.size()))));
  if (text.starts_with(kSize))
    return size(std::string(trim_leading_white_space(text.substr(kSize.size()))));
  return other(std::string(text));
}

std::string FormulaError::display() const {
  switch (kind) {
    case Kind::Other:
      return text.value_or("");
    case Kind::Value:
    case Kind::Size:
      if (text && !text->empty()) return std::string(standard_text(kind)) + " " + *text;
      [[fallthrough]];
    default:
      return std::string(standard_text(kind));
  }
}

std::string SheetError::display() const {
  if (kind != Kind::Cycle) return message;
  std::string out = "#CIRCULAR! Cycle detected involving: ";
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i) out += ", ";
    out += cells[i];
  }
  return out;
}

ArrayValue::ArrayValue(uint32_t r, uint32_t c, std::vector<CellValue> d)
    : rows(r), cols(c), data(std::move(d)) {
  if (data.size() != uint64_t(r) * c) {
    std::fputs("shape/data mismatch\n", stderr);
    std::abort();
  }
}

ArrayValue ArrayValue::scalar(CellValue v) {
  ArrayValue a;
  a.rows = a.cols = 1;
  a.data.push_back(std::move(v));
  return a;
}

CellValue ArrayValue::first() const {
  return data.empty() ? CellValue() : data.front();
}

std::optional<double> CellValue::as_number() const {
  switch (kind()) {
    case Kind::Number:
      return as_double();
    case Kind::Boolean:
      return as_bool() ? 1.0 : 0.0;
    case Kind::String:
      return parse_number(as_string());
    default:
      return std::nullopt;
  }
}

std::string CellValue::display() const {
  switch (kind()) {
    case Kind::Number:
      return number_text(as_double());
    case Kind::String:
      return as_string();
    case Kind::Boolean:
      return as_bool() ? "TRUE" : "FALSE";
    case Kind::Empty:
      return {};
    case Kind::Error:
      return as_error().display();
    case Kind::Custom:
      return as_custom().data;
  }
  return {};
}

// Shortest round-trip digits come from std::to_chars in scientific form ("d.ddde±XX"); they
// are then laid out positionally.
void append_number_text(std::string& out, double x) {
  if (std::isnan(x)) {
    out += "NaN";
    return;
  }
  if (std::signbit(x)) out += '-';
  if (std::isinf(x)) {
    out += "inf";
    return;
  }
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific);
  std::string_view sci(buf, res.ptr - buf);
  size_t e = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, e))
    if (c != '.') digits += c;
  int exp10 = std::atoi(std::string(sci.substr(e + 1)).c_str());
  if (digits == "0") {
    out += '0';
    return;
  }
  // The decimal point sits after `point` digits.
  long point = long(exp10) + 1;
  long n = long(digits.size());
  if (point >= n) {
    out += digits;
    out.append(size_t(point - n), '0');
  } else if (point > 0) {
    out.append(digits, 0, size_t(point));
    out += '.';
    out.append(digits, size_t(point));
  } else {
    out += "0.";
    out.append(size_t(-point), '0');
    out += digits;
  }
}

std::string number_text(double x) {
  std::string out;
  append_number_text(out, x);
  return out;
}

namespace {

bool ascii_iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != b[i]) return false;
  }
  return true;
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::optional<double> parse_number(std::string_view text) {
  bool negative = false;
  std::string_view s = text;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  double sign = negative ? -1.0 : 1.0;
  if (ascii_iequal(s, "inf") || ascii_iequal(s, "infinity")) return sign * HUGE_VAL;
  if (ascii_iequal(s, "nan")) return std::copysign(std::nan(""), sign);

  // Mantissa: digits, optional ".", digits; at least one digit in all.
  size_t i = 0, mantissa_digits = 0;
  long first_nonzero = -1, point_at = -1;  // positions to estimate the magnitude
  for (; i < s.size(); ++i) {
    if (is_digit(s[i])) {
      if (s[i] != '0' && first_nonzero < 0) first_nonzero = long(mantissa_digits);
      ++mantissa_digits;
    } else if (s[i] == '.' && point_at < 0) {
      point_at = long(mantissa_digits);
    } else {
      break;
    }
  }
  if (mantissa_digits == 0) return std::nullopt;
  long exponent = 0;
  if (i < s.size()) {
    if (s[i] != 'e' && s[i] != 'E') return std::nullopt;
    size_t j = i + 1;
    bool exp_negative = false;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) exp_negative = s[j++] == '-';
    if (j >= s.size()) return std::nullopt;
    for (; j < s.size(); ++j) {
      if (!is_digit(s[j])) return std::nullopt;
      if (exponent < 100000000) exponent = exponent * 10 + (s[j] - '0');
    }
    if (exp_negative) exponent = -exponent;
  }
  if (first_nonzero < 0) return sign * 0.0;

  double value = 0;
  auto res = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    // The decimal magnitude decides between overflow and underflow.
    long int_digits = (point_at < 0 ? long(mantissa_digits) : point_at) - first_nonzero;
    value = (int_digits + exponent > 0) ? HUGE_VAL : 0.0;
  } else if (res.ec != std::errc() || res.ptr != s.data() + s.size()) {
    return std::nullopt;
  }
  return sign * value;
}

namespace types {

std::string index_to_col(uint32_t n) {
  std::string out;
  while (n > 0) {
    --n;
    out.insert(out.begin(), char('A' + n % 26));
    n /= 26;
  }
  return out;
}

std::string cell_id(std::string_view letters, uint32_t row) {
  std::string out(letters);
  out += std::to_string(row);
  return out;
}

}  // namespace types
}  // namespace tabrix
