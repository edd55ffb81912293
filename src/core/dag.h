// Cell-id arithmetic of the dependency graph: reading an id into 1-based column and row
// numbers, writing column letters, expanding rectangles into ids, and collecting the cells a
// syntax tree reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabrix {

struct AstNode;

namespace dag {

struct ColRow {
  uint32_t col;  // 1-based
  uint32_t row;  // 1-based
};

// Column number of a letter text: each byte b counts ((b - 65) mod 256) + 1, combined base
// 26 and held at 4294967295. Meant for upper-case letters; other bytes give what the rule
// gives ("a" is 33). Cannot fail.
uint32_t column_number(std::string_view letters);
// Letters of a 1-based column number (1 -> "A"); 0 gives "". Cannot fail.
std::string column_letters(uint64_t n);
// A row number of 32 bits: one optional "+", then ASCII digits only (0 included); nothing
// otherwise. Cannot fail.
std::optional<uint32_t> row_number(std::string_view s);
// "B12" -> column 2, row 12. Refuses ids without letters before the first digit, with a
// non-letter there, or whose row is not a 32-bit number other than 0 (one leading "+"
// allowed).
std::optional<ColRow> parse_cell_id(std::string_view text);
// True when the id is written canonically: upper-case letters and a row without leading
// zeros or sign, as references write cells. Cannot fail.
bool is_canonical_cell_id(std::string_view text);
// Appends the ids of every cell of the rectangle spanned by two corners, or nothing when it
// has more than 100000 cells. Cannot fail.
void expand_rect(std::vector<std::string>& out, std::string_view letters1, uint32_t row1,
                 std::string_view letters2, uint32_t row2);
// Appends the ids of every cell the tree reads (depth first; whole columns and rows reach
// the bounds). Iterative. Cannot fail.
void collect_refs_inner(const AstNode& node, std::vector<std::string>& out, uint32_t max_row,
                        uint32_t max_col);

}  // namespace dag
}  // namespace tabrix
