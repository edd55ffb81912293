// Array-returning built-ins: IF, SEQUENCE, TRANSPOSE, FILTER, SORT and UNIQUE, which receive
// the argument arrays whole, plus `compare_cell_values`, the total order SORT uses.
//
// Results that can grow beyond their inputs (IF's stretching, SEQUENCE) are checked against
// kMaxArrayCells before a single cell is built, so an oversized request costs nothing.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/builtins.h"
#include "core/builtins_impl.h"

namespace tabrix {

namespace {

// Rank of the groups of the SORT order, lowest first.
int sort_rank(const CellValue& v) {
  switch (v.kind()) {
    case CellValue::Kind::Number:
    case CellValue::Kind::Boolean:
      return 0;
    case CellValue::Kind::String:
      return 1;
    case CellValue::Kind::Empty:
      return 2;
    case CellValue::Kind::Error:
      return 3;
    case CellValue::Kind::Custom:
      return 4;
  }
  return 5;
}

double number_or_bool(const CellValue& v) {
  return v.is_boolean() ? (v.as_bool() ? 1.0 : 0.0) : v.as_double();
}

}  // namespace

std::weak_ordering compare_cell_values(const CellValue& a, const CellValue& b) {
  int ra = sort_rank(a), rb = sort_rank(b);
  if (ra != rb) return ra <=> rb;
  switch (a.kind()) {
    case CellValue::Kind::Number:
    case CellValue::Kind::Boolean: {
      double x = number_or_bool(a), y = number_or_bool(b);
      // NaN is neither less nor greater than anything, so it falls through to equivalent.
      if (x < y) return std::weak_ordering::less;
      if (x > y) return std::weak_ordering::greater;
      return std::weak_ordering::equivalent;
    }
    case CellValue::Kind::String:
      // string_view compares unsigned bytes, then lengths.
      return std::string_view(a.as_string()).compare(b.as_string()) <=> 0;
    case CellValue::Kind::Error:
      return a.as_error().display().compare(b.as_error().display()) <=> 0;
    case CellValue::Kind::Custom: {
      const CustomValue &x = a.as_custom(), &y = b.as_custom();
      if (int c = x.type_tag.compare(y.type_tag)) return c <=> 0;
      return x.data.compare(y.data) <=> 0;
    }
    default:
      return std::weak_ordering::equivalent;
  }
}

namespace builtins {

namespace {

FormulaError value_error(const char* detail) {
  return FormulaError::value(std::string(detail));
}

// Truthiness of IF and FILTER conditions: nonzero numbers (NaN too), non-empty texts, TRUE
// and every custom value are true; empty and error values are false.
bool truthy(const CellValue& v) {
  switch (v.kind()) {
    case CellValue::Kind::Number:
      return v.as_double() != 0.0;
    case CellValue::Kind::String:
      return !v.as_string().empty();
    case CellValue::Kind::Boolean:
      return v.as_bool();
    case CellValue::Kind::Custom:
      return true;
    default:
      return false;
  }
}

// A double made a 32-bit unsigned count: the fraction dropped, clamped, NaN as 0.
uint32_t clamp_u32(double x) {
  if (!(x > 0)) return 0;
  if (x >= 4294967295.0) return 4294967295u;
  return uint32_t(x);
}

// The element of a stretched operand for result cell (r, c): a single row or column repeats.
const CellValue& stretched(const ArrayValue& a, uint32_t r, uint32_t c) {
  return a.at(a.rows == 1 ? 0 : r, a.cols == 1 ? 0 : c);
}

// Stable merge sort of the indices 0..n-1 by `less`. Written out rather than std::stable_sort
// because the SORT order treats NaN as equal to everything, which is not a strict weak order;
// this merge only ever asks less(right, left) and stays within bounds whatever it answers.
template <class Less>
std::vector<uint32_t> stable_order(uint32_t n, Less less) {
  std::vector<uint32_t> order(n), buffer(n);
  for (uint32_t i = 0; i < n; ++i) order[i] = i;
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      size_t mid = std::min<size_t>(lo + width, n), hi = std::min<size_t>(lo + 2 * width, n);
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) buffer[k++] = less(order[j], order[i]) ? order[j++] : order[i++];
      while (i < mid) buffer[k++] = order[i++];
      while (j < hi) buffer[k++] = order[j++];
    }
    order.swap(buffer);
  }
  return order;
}

// Hash consistent with CellValue equality (numbers numerically: 0 and -0 alike).
size_t hash_value(const CellValue& v) {
  size_t h = size_t(v.kind()) * 0x9e3779b97f4a7c15ull;
  auto mix = [&h](size_t x) { h ^= x + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2); };
  switch (v.kind()) {
    case CellValue::Kind::Number:
      mix(std::hash<double>{}(v.as_double() == 0.0 ? 0.0 : v.as_double()));
      break;
    case CellValue::Kind::String:
      mix(std::hash<std::string>{}(v.as_string()));
      break;
    case CellValue::Kind::Boolean:
      mix(v.as_bool());
      break;
    case CellValue::Kind::Error:
      mix(size_t(v.as_error().kind));
      if (v.as_error().text) mix(std::hash<std::string>{}(*v.as_error().text) + 1);
      break;
    case CellValue::Kind::Custom:
      mix(std::hash<std::string>{}(v.as_custom().type_tag));
      mix(std::hash<std::string>{}(v.as_custom().data));
      break;
    case CellValue::Kind::Empty:
      break;
  }
  return h;
}

bool has_nan(const CellValue* row, uint32_t cols) {
  for (uint32_t c = 0; c < cols; ++c)
    if (row[c].is_number() && std::isnan(row[c].as_double())) return true;
  return false;
}

}  // namespace

ArrayResult if_(std::span<const ArrayValue> args, const Registry&) {
  // Missing arguments are a 1 x 1 Empty; arguments after the third are ignored.
  const ArrayValue empty = ArrayValue::scalar(CellValue());
  const ArrayValue* ops[3] = {&empty, &empty, &empty};
  for (size_t i = 0; i < 3 && i < args.size(); ++i) ops[i] = &args[i];
  uint32_t rows = 0, cols = 0;
  for (const auto* a : ops) {
    rows = std::max(rows, a->rows);
    cols = std::max(cols, a->cols);
  }
  for (const auto* a : ops)
    if (a->rows != 1 && a->rows != rows) return fail(value_error("IF: incompatible rows"));
  for (const auto* a : ops)
    if (a->cols != 1 && a->cols != cols) return fail(value_error("IF: incompatible cols"));
  if (uint64_t(rows) * cols > kMaxArrayCells)
    return fail(
        FormulaError::size("IF result exceeds " + std::to_string(kMaxArrayCells) + " cells"));
  std::vector<CellValue> out;
  out.reserve(size_t(rows) * cols);
  for (uint32_t r = 0; r < rows; ++r)
    for (uint32_t c = 0; c < cols; ++c)
      out.push_back(stretched(truthy(stretched(*ops[0], r, c)) ? *ops[1] : *ops[2], r, c));
  return ArrayValue(rows, cols, std::move(out));
}

ArrayResult sequence(std::span<const ArrayValue> args, const Registry&) {
  // Plain numeric readings of the top-left values; custom values have none here.
  auto reading = [&](size_t i) -> std::optional<double> {
    return i < args.size() ? args[i].first().as_number() : std::nullopt;
  };
  auto rows_in = reading(0);
  if (!rows_in) return fail(value_error("SEQUENCE: rows required"));
  double cols_in = reading(1).value_or(1.0);
  double start = reading(2).value_or(1.0), step = reading(3).value_or(1.0);
  if (*rows_in < 1 || cols_in < 1)  // NaN passes, and makes an empty array below
    return fail(value_error("SEQUENCE: rows and cols must be >= 1"));
  uint32_t rows = clamp_u32(*rows_in), cols = clamp_u32(cols_in);
  if (uint64_t(rows) * cols > kMaxArrayCells)
    return fail(
        FormulaError::size("SEQUENCE exceeds " + std::to_string(kMaxArrayCells) + " cells"));
  std::vector<CellValue> out;
  out.reserve(size_t(rows) * cols);
  for (uint64_t k = 0; k < uint64_t(rows) * cols; ++k)
    out.push_back(CellValue::number(double(k) * step + start));
  return ArrayValue(rows, cols, std::move(out));
}

ArrayResult transpose(std::span<const ArrayValue> args, const Registry&) {
  if (args.empty()) return fail(value_error("TRANSPOSE: array required"));
  const ArrayValue& a = args[0];
  std::vector<CellValue> out;
  out.reserve(a.data.size());
  for (uint32_t c = 0; c < a.cols; ++c)
    for (uint32_t r = 0; r < a.rows; ++r) out.push_back(a.at(r, c));
  return ArrayValue(a.cols, a.rows, std::move(out));
}

ArrayResult filter(std::span<const ArrayValue> args, const Registry&) {
  if (args.empty()) return fail(value_error("FILTER: array required"));
  if (args.size() < 2) return fail(value_error("FILTER: condition required"));
  const ArrayValue &a = args[0], &cond = args[1];
  if (cond.rows != a.rows || (cond.cols != 1 && cond.cols != a.cols))
    return fail(value_error("FILTER: condition shape must match array or be a column vector"));
  std::vector<CellValue> out;
  uint32_t rows = 0, cols = 1;
  if (cond.cols == 1) {  // keep whole rows
    cols = a.cols;
    for (uint32_t r = 0; r < a.rows; ++r) {
      if (!truthy(cond.at(r, 0))) continue;
      ++rows;
      for (uint32_t c = 0; c < a.cols; ++c) out.push_back(a.at(r, c));
    }
  } else {  // keep single elements, row-major, as one column
    for (size_t i = 0; i < a.data.size(); ++i)
      if (truthy(cond.data[i])) out.push_back(a.data[i]);
    rows = uint32_t(out.size());
  }
  if (out.empty()) return ArrayValue::scalar(CellValue::error(FormulaError::not_available()));
  return ArrayValue(rows, cols, std::move(out));
}

ArrayResult sort(std::span<const ArrayValue> args, const Registry&) {
  if (args.empty()) return fail(value_error("SORT: array required"));
  const ArrayValue& a = args[0];
  uint32_t col = 1;
  if (args.size() > 1) {
    CellValue v = args[1].first();
    // Numbers, numeric texts and booleans choose the column; anything else means 1.
    if (auto x = v.as_number()) col = clamp_u32(*x);
  }
  if (col == 0 || col > a.cols) return fail(value_error("SORT: sort_col out of range"));
  bool ascending = args.size() > 2 ? truthy(args[2].first()) : true;

  uint32_t key = col - 1;
  auto less = [&](uint32_t x, uint32_t y) {
    auto order = compare_cell_values(a.at(x, key), a.at(y, key));
    return ascending ? order < 0 : order > 0;
  };
  std::vector<CellValue> out;
  out.reserve(a.data.size());
  for (uint32_t r : stable_order(a.rows, less))
    for (uint32_t c = 0; c < a.cols; ++c) out.push_back(a.at(r, c));
  return ArrayValue(a.rows, a.cols, std::move(out));
}

ArrayResult unique(std::span<const ArrayValue> args, const Registry&) {
  if (args.empty()) return fail(value_error("UNIQUE: array required"));
  const ArrayValue& a = args[0];
  const uint32_t cols = a.cols;
  auto row = [&](uint32_t r) { return a.data.data() + size_t(r) * cols; };
  auto hash = [&](uint32_t r) {
    size_t h = 0;
    for (uint32_t c = 0; c < cols; ++c) h = h * 31 + hash_value(row(r)[c]);
    return h;
  };
  // CellValue equality is the row equality wanted: same alternative, numbers numerically
  // (NaN never equal), errors with equal detail presence and text, custom tag and data.
  auto equal = [&](uint32_t x, uint32_t y) {
    for (uint32_t c = 0; c < cols; ++c)
      if (!(row(x)[c] == row(y)[c])) return false;
    return true;
  };
  std::unordered_set<uint32_t, decltype(hash), decltype(equal)> seen(16, hash, equal);
  std::vector<CellValue> out;
  uint32_t kept = 0;
  for (uint32_t r = 0; r < a.rows; ++r) {
    // A row holding NaN equals no row, so it is always kept and never looked up.
    if (!has_nan(row(r), cols) && !seen.insert(r).second) continue;
    ++kept;
    out.insert(out.end(), row(r), row(r) + cols);
  }
  return ArrayValue(kept, cols, std::move(out));
}

}  // namespace builtins
}  // namespace tabrix
