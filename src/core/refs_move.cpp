// Rewriting references for a block of rows or columns moved to another place. The move is a
// permutation of indices: the block lands at `final_start` and the indices it passes over
// shift by the block's size to close the gap. Intervals take the bounding box of their
// images, computed in closed form from the pieces of the map, so an interval spanning the
// whole 32-bit range costs no more than a small one.
#include <algorithm>

#include "core/refs.h"
#include "core/refs_frame.h"

namespace tabrix::refs {

std::optional<BlockMove> make_block_move(uint32_t src_start, uint32_t src_end, uint32_t final_start,
                                         uint32_t last) {
  if (src_end < src_start || final_start == src_start) return std::nullopt;
  // A block that does not fit the grid before or after the move has no permutation of the
  // grid to describe it; 32-bit wrap-around would send references to unrelated cells.
  if (src_end > last || uint64_t(final_start) + (src_end - src_start) > last) return std::nullopt;
  return BlockMove{src_start, src_end, final_start};
}

uint32_t BlockMove::map(uint32_t i) const {
  const uint64_t n = uint64_t(src_end) - src_start + 1;
  if (i >= src_start && i <= src_end) return uint32_t(uint64_t(i) - src_start + final_start);
  if (final_start < src_start && i >= final_start && i < src_start) return uint32_t(i + n);
  if (final_start > src_start && i > src_end && uint64_t(i) < final_start + n)
    return uint32_t(i - n);
  return i;
}

// The map is an increasing shift on each of four consecutive pieces of the index line (two
// of them identity), so the image of [low, high] is spanned by the images of the ends of its
// intersection with each piece.
std::pair<uint32_t, uint32_t> BlockMove::bounding_box(uint32_t low, uint32_t high) const {
  const int64_t n = int64_t(src_end) - src_start + 1;
  const int64_t s = src_start, e = src_end, f = final_start;
  // First index of each piece, then one past the last possible index.
  const int64_t bounds[5] = {0, std::min(s, f), f < s ? s : e + 1, f < s ? e + 1 : f + n,
                             int64_t(UINT32_MAX) + 1};
  uint32_t lo = UINT32_MAX, hi = 0;
  for (int k = 0; k < 4; ++k) {
    int64_t a = std::max<int64_t>(low, bounds[k]);
    int64_t b = std::min<int64_t>(high, bounds[k + 1] - 1);
    if (a > b) continue;
    lo = std::min(lo, map(uint32_t(a)));
    hi = std::max(hi, map(uint32_t(b)));
  }
  return {lo, hi};
}

namespace {

// Rewrites the references of one formula for a move along one axis.
struct Mover {
  BlockMove move;
  bool rows;  // the moved axis: rows, or columns
  bool data_following;

  uint32_t& along(FrameCell& c) const { return rows ? c.row : c.col; }
  uint32_t along(const FrameCell& c) const { return rows ? c.row : c.col; }

  void operator()(const FrameRef& ref, std::vector<RefEdit>& edits) const {
    std::string text;
    switch (ref.kind) {
      case FrameRef::Cell: {
        FrameCell c = ref.cell[0];
        if (!c.valid) return;
        uint32_t moved = move.map(along(c));
        if (moved == along(c)) return;
        along(c) = moved;
        write_cell_indexed(c.col_abs, c.col, c.row_abs, c.row, text);
        break;
      }
      case FrameRef::Range: {
        FrameCell a = ref.cell[0], b = ref.cell[1];
        if (!data_following || !a.valid || !b.valid) return;
        uint32_t lo = std::min(along(a), along(b)), hi = std::max(along(a), along(b));
        auto box = move.bounding_box(lo, hi);
        if (box == std::pair(lo, hi)) return;
        along(a) = box.first;
        along(b) = box.second;
        write_cell_indexed(a.col_abs, a.col, a.row_abs, a.row, text);
        text += ':';
        write_cell_indexed(b.col_abs, b.col, b.row_abs, b.row, text);
        break;
      }
      case FrameRef::WholeRow:
      case FrameRef::WholeColumn: {
        if ((ref.kind == FrameRef::WholeRow) != rows) return;
        const FrameLine &a = ref.line[0], &b = ref.line[1];
        if (!a.valid || !b.valid) return;
        uint32_t lo = std::min(a.index, b.index), hi = std::max(a.index, b.index);
        auto box = move.bounding_box(lo, hi);
        if (box == std::pair(lo, hi)) return;
        write_line(text, a.abs, box.first);
        text += ':';
        write_line(text, b.abs, box.second);
        break;
      }
    }
    edits.push_back(RefEdit{ref.start, ref.end, std::move(text)});
  }

  void write_line(std::string& out, bool abs, uint32_t index) const {
    if (abs) out += '$';
    if (rows) {
      refs_text::append_decimal(out, uint64_t(index) + 1);
    } else {
      append_col_letters(out, uint64_t(index) + 1);
    }
  }
};

std::string block_move(std::string_view formula, uint32_t src_start, uint32_t src_end,
                       uint32_t final_start, bool rows, bool data_following) {
  auto move = make_block_move(src_start, src_end, final_start, rows ? kLastIndex : kLastColumn);
  if (formula.empty() || formula[0] != '=' || !move) return std::string(formula);
  return rewrite_each_ref(formula, Mover{*move, rows, data_following});
}

}  // namespace

std::string row_block_move_impl(std::string_view formula, uint32_t src_start, uint32_t src_end,
                                uint32_t final_start, bool data_following) {
  return block_move(formula, src_start, src_end, final_start, /*rows=*/true, data_following);
}

std::string column_block_move_impl(std::string_view formula, uint32_t src_start, uint32_t src_end,
                                   uint32_t final_start, bool data_following) {
  return block_move(formula, src_start, src_end, final_start, /*rows=*/false, data_following);
}

std::string adjust_refs_for_row_block_move(std::string_view formula, uint32_t src_start,
                                           uint32_t src_end, uint32_t final_start) {
  return row_block_move_impl(formula, src_start, src_end, final_start, false);
}

std::string adjust_refs_for_column_block_move(std::string_view formula, uint32_t src_start,
                                              uint32_t src_end, uint32_t final_start) {
  return column_block_move_impl(formula, src_start, src_end, final_start, false);
}

std::string adjust_refs_for_row_block_move_data_following(std::string_view formula,
                                                          uint32_t src_start, uint32_t src_end,
                                                          uint32_t final_start) {
  return row_block_move_impl(formula, src_start, src_end, final_start, true);
}

std::string adjust_refs_for_column_block_move_data_following(std::string_view formula,
                                                             uint32_t src_start, uint32_t src_end,
                                                             uint32_t final_start) {
  return column_block_move_impl(formula, src_start, src_end, final_start, true);
}

}  // namespace tabrix::refs
