// A1 cell ids and ranges: column letters <-> 0-based indices, (row, col) <-> "B12", and the
// range texts "A1:C10", "A:C" and "A5:C". Indices are 0-based 32-bit unsigned; texts use
// 1-based rows and bijective base-26 column letters.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/result.h"

namespace tabrix {

struct CellCoord {
  uint32_t row = 0;
  uint32_t col = 0;
  bool operator==(const CellCoord&) const = default;
};

struct ParsedRange {
  CellCoord start;
  uint32_t end_col = 0;
  std::optional<uint32_t> end_row;  // absent: the range runs down without end
  std::string normalized;
  bool unbounded() const { return !end_row.has_value(); }
};

struct RangeParseError {
  enum class Kind : uint8_t { Empty, UnknownShape, InvalidColumn, InvalidRow };
  Kind kind;
  std::string text;  // the offending text of InvalidColumn / InvalidRow
  // "Empty: range string is empty", "InvalidRow: \"0\"", ... Cannot fail.
  std::string display() const;
};

template <class T>
using RangeResult = Result<T, RangeParseError>;

namespace range {

// Letters to a 0-based column ("A" -> 0, "aa" -> 26). Fails with InvalidColumn holding the
// whole text when it is empty, holds a non-letter or exceeds 32 bits.
RangeResult<uint32_t> col_to_index(std::string_view letters);
// 0-based index to letters (0 -> "A"); 4294967295 gives the letters of 4294967294.
std::string index_to_col(uint32_t index);
// "B12" for (11, 1). Cannot fail.
std::string format_cell_id(uint32_t row, uint32_t col);
std::string cell_id(uint32_t row, uint32_t col);
// Optional 1-based row of a digit text: empty -> none; non-digit -> UnknownShape; 0 or
// beyond 32 bits -> InvalidRow.
RangeResult<std::optional<uint32_t>> parse_row_opt(std::string_view text);
// " $b$12 " -> (11, 1); fails with Empty, UnknownShape, InvalidRow or InvalidColumn.
RangeResult<CellCoord> parse_cell_id(std::string_view text);
// "A1:C3", "A:C", "A5:C"; fails with Empty, UnknownShape, InvalidRow or InvalidColumn.
RangeResult<ParsedRange> parse_range(std::string_view text);
// True exactly when parse_range succeeds without an end row. Never fails.
bool is_unbounded_range(std::string_view text);

}  // namespace range
}  // namespace tabrix
