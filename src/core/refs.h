// Reference scanning and rewriting on formula text alone: nothing here evaluates a formula or
// looks at a sheet.
//
// - Scanning: `extract_refs` lists the references of a formula (for highlighting and for
//   knowing which cells it reads), using the lexer's tokens and one table of token patterns.
// - Copy/paste: `shift_formula_refs` moves relative references by a row and column delta. It
//   scans characters with `parse_cell`, `parse_col_letters` and `parse_row_num` instead of
//   tokens, so it also rewrites formulas the lexer rejects.
// - Insertion and deletion of rows or columns: `adjust_refs_for_insertion`,
//   `adjust_refs_for_deletion` and `rewrite_refs_for_deletion`.
// - Block moves of rows or columns: `adjust_refs_for_row_block_move`,
//   `adjust_refs_for_column_block_move` and their `_data_following` variants for named-range
//   definitions.
//
// A formula is a text whose first character is "="; any other text is returned unchanged by
// the rewriters and yields nothing from the scanner. The token-based rewriters splice their
// replacements into the source text, so spacing, case, string literals and names outside the
// rewritten references stay exactly as written. Offsets in `FormulaRef` and `RefEdit` count
// characters (code points) of the whole formula, the leading "=" being character 0.
//
// The grid: 0-based rows run from 0 to `kLastIndex` (4294967294), so that every 1-based
// number written back fits 32 bits; columns stop one earlier, at `kLastColumn`, because the
// scanner takes the letters of column number 4294967295 as unusable. Nothing here throws except
// std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/a1.h"

namespace tabrix {

enum class FormulaRefKind : uint8_t { Cell, Range, WholeColumn, WholeRow, Name, Spill };

// "cell", "range", "whole_column", "whole_row", "name", "spill". Cannot fail.
std::string_view formula_ref_kind_text(FormulaRefKind kind);

// One reference found in a formula.
struct FormulaRef {
  size_t start = 0;  // character offset of the first character ("=" is character 0)
  size_t end = 0;    // character offset just past the last character
  std::string text;  // the source characters; for a name, the name upper-cased without "$"
  FormulaRefKind kind = FormulaRefKind::Cell;
  std::vector<CellCoord> cells;  // the 0-based cells covered, possibly none
};

// A cell written in a formula: 1-based column and row, each with its "$" marker.
struct CellMatch {
  size_t length = 0;  // bytes consumed, markers included
  uint32_t col = 0;
  uint32_t row = 0;
  bool col_abs = false;
  bool row_abs = false;
};

// One endpoint of a whole-column or whole-row range: a 1-based column or row number.
struct LineMatch {
  size_t length = 0;  // bytes consumed, a "$" marker included
  uint32_t number = 0;
  bool abs = false;
};

// The rows and columns an insertion or deletion affects, as 0-based indices in the numbering
// before the change. For an insertion each entry k moves every index >= k up by one and entries
// count with their multiplicity; for a deletion each list is a set of removed indices.
struct Deletion {
  std::vector<uint32_t> cols;
  std::vector<uint32_t> rows;
};

// One planned replacement of the characters [start, end) of a formula by `text`.
struct RefEdit {
  size_t start = 0;
  size_t end = 0;
  std::string text;
};

namespace refs {

// The largest usable 0-based row index, and column index.
inline constexpr uint32_t kLastIndex = 4294967294u;
inline constexpr uint32_t kLastColumn = 4294967293u;
// A range never lists more cells than this; a larger one lists none.
inline constexpr uint64_t kMaxRangeCells = 100000;
// Nor does one formula list more cells than this in all (see `extract_refs`).
inline constexpr uint64_t kMaxFormulaCells = 1000000;

// ---- Scanning (refs_scan.cpp) ----

// The references of a formula in source order. A text without a leading "=", or one the lexer
// rejects, gives an empty list. A range lists its cells row by row when it covers at most
// `kMaxRangeCells` and the cells listed so far for the formula stay within `kMaxFormulaCells`
// (which bounds the result of a very long formula full of large ranges); otherwise, and for
// endpoints that cannot be read, its cell list is empty. Cannot fail.
std::vector<FormulaRef> extract_refs(std::string_view formula);

// Splits the text of a cell-reference token into its column letters and its row number: the
// letters are everything before the first ASCII digit, the row the rest. Returns nothing when
// there is no digit, the digit comes first, a character before it is not an ASCII letter, or
// the rest is not a decimal number that fits 32 bits. A row of 0 is returned as 0.
struct RefParts {
  std::string_view letters;
  uint32_t row = 0;
};
std::optional<RefParts> parse_ref(std::string_view token_text);

// The 1-based column number of ASCII letters (either case), saturating at 4294967295, which
// marks an unusable column. Cannot fail.
uint32_t column_from_letters(std::string_view letters);

// Character-level matchers over `text` (a formula without its leading "=") at byte `offset`;
// "letter" is an ASCII letter of either case. Each returns nothing when the text there is not
// of its shape.
// `parse_cell`: ["$"] letters ["$"] digits, the digits not followed by a letter or "_"; the
// column must fit 32 bits and the row be 1 to 4294967295.
std::optional<CellMatch> parse_cell(std::string_view text, size_t offset);
// `parse_col_letters`: ["$"] letters, not followed by "_" or a digit; fitting 32 bits.
std::optional<LineMatch> parse_col_letters(std::string_view text, size_t offset);
// `parse_row_num`: digits (no "$"), not followed by a letter, "." or "_"; 1 to 4294967295.
std::optional<LineMatch> parse_row_num(std::string_view text, size_t offset);

// Appends "$" if `col_abs`, the letters of the 1-based `col` (nothing for 0), "$" if `row_abs`,
// then the 1-based `row` in decimal. Cannot fail.
void write_cell(bool col_abs, uint64_t col, bool row_abs, uint64_t row, std::string& out);
// The same with a 0-based column and row. Cannot fail.
void write_cell_indexed(bool col_abs, uint32_t col, bool row_abs, uint32_t row, std::string& out);
// The letters of col + 1 followed by row + 1 ("B12" for column 1, row 11). Cannot fail.
std::string format_cell(uint32_t col, uint32_t row);
// Appends the letters of the 1-based column `n` (nothing for 0). Cannot fail.
void append_col_letters(std::string& out, uint64_t n);

// ---- Copy/paste (refs_shift.cpp) ----

// Moves every relative reference component by `d_row` / `d_col`; absolute components stay.
// A reference with a relative component outside 1..`max_row` (rows) or 1..`max_col` (columns)
// becomes "#REF!". Changed references are written upper-cased, unchanged ones are copied as
// they stand. Returns the formula unchanged when it does not begin with "=", both deltas are 0
// or a bound is 0. Cannot fail.
std::string shift_formula_refs(std::string_view formula, int32_t d_row, int32_t d_col,
                               uint32_t max_row, uint32_t max_col);

// ---- Insertion and deletion (refs_insert_delete.cpp) ----

// Rewrites each reference to where its cells are after inserting rows and columns before the
// listed indices. A reference pushed past `kLastIndex` becomes "#REF!". Cannot fail.
std::string adjust_refs_for_insertion(std::string_view formula, const Deletion& inserted);
// Rewrites each reference to the surviving cells after the deletion: shifted, ranges trimmed
// and normalised, markers dropped; a reference with no surviving cell becomes "#REF!". Cannot
// fail.
std::string adjust_refs_for_deletion(std::string_view formula, const Deletion& deleted);
// Replaces only the parts of references that point into deleted rows or columns with "#REF!";
// nothing moves. Cannot fail.
std::string rewrite_refs_for_deletion(std::string_view formula, const Deletion& deleted);

// The bounds of [low, high] after deleting the sorted, duplicate-free indices `deleted`:
// deleted ends are trimmed off, then each end moves down by the deletions before it. Nothing
// when every index of the interval is deleted or high < low. Cannot fail.
std::optional<std::pair<uint32_t, uint32_t>> trim_and_shift_range(
    uint32_t low, uint32_t high, const std::vector<uint32_t>& deleted);

// ---- Block moves (refs_move.cpp) ----

// The block of rows (or columns) `src_start`..`src_end` moves so that its first index lands on
// `final_start`; the indices in between close the gap. Cells follow their data; whole-row
// (whole-column) ranges along the moved axis become the bounding box of where their indices
// went; bounded ranges stay, except in the `_data_following` variants (for named-range
// definitions), which give them the bounding box as well. Returns the formula unchanged when it
// does not begin with "=", the block is empty or reversed, does not move, or does not fit the
// grid before or after the move. Never writes "#REF!". Cannot fail.
std::string adjust_refs_for_row_block_move(std::string_view formula, uint32_t src_start,
                                           uint32_t src_end, uint32_t final_start);
std::string adjust_refs_for_column_block_move(std::string_view formula, uint32_t src_start,
                                              uint32_t src_end, uint32_t final_start);
std::string adjust_refs_for_row_block_move_data_following(std::string_view formula,
                                                          uint32_t src_start, uint32_t src_end,
                                                          uint32_t final_start);
std::string adjust_refs_for_column_block_move_data_following(std::string_view formula,
                                                             uint32_t src_start, uint32_t src_end,
                                                             uint32_t final_start);
// The workers behind the four entry points. Cannot fail.
std::string row_block_move_impl(std::string_view formula, uint32_t src_start, uint32_t src_end,
                                uint32_t final_start, bool data_following);
std::string column_block_move_impl(std::string_view formula, uint32_t src_start, uint32_t src_end,
                                   uint32_t final_start, bool data_following);

// The move map and its bounding box, exposed for tests. `BlockMove` requires a valid move
// (src_start <= src_end, the block fitting the grid before and after the move).
struct BlockMove {
  uint32_t src_start;
  uint32_t src_end;
  uint32_t final_start;
  // Where index i goes. Cannot fail.
  uint32_t map(uint32_t i) const;
  // The smallest and largest image of the indices low..high (low <= high), in closed form.
  std::pair<uint32_t, uint32_t> bounding_box(uint32_t low, uint32_t high) const;
};
// The move when its arguments describe one that can happen on an axis whose last index is
// `last`, else nothing. Cannot fail.
std::optional<BlockMove> make_block_move(uint32_t src_start, uint32_t src_end, uint32_t final_start,
                                         uint32_t last = kLastIndex);

}  // namespace refs
}  // namespace tabrix
