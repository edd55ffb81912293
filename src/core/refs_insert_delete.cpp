// Rewriting references for inserted and deleted rows and columns, on the token frame of
// refs_frame.h. Index lists are sorted once per call, so each reference costs a few binary
// searches whatever the lists' lengths.
#include <algorithm>

#include "core/refs.h"
#include "core/refs_frame.h"

namespace tabrix::refs {
namespace {

constexpr std::string_view kRefError = "#REF!";

std::vector<uint32_t> sorted(std::vector<uint32_t> v) {
  std::sort(v.begin(), v.end());
  return v;
}

std::vector<uint32_t> sorted_set(std::vector<uint32_t> v) {
  v = sorted(std::move(v));
  v.erase(std::unique(v.begin(), v.end()), v.end());
  return v;
}

// Entries of the sorted list that are <= i, counted with multiplicity.
uint64_t count_at_or_before(const std::vector<uint32_t>& list, uint32_t i) {
  return uint64_t(std::upper_bound(list.begin(), list.end(), i) - list.begin());
}

// Entries of the sorted list that are < i.
uint64_t count_before(const std::vector<uint32_t>& list, uint32_t i) {
  return uint64_t(std::lower_bound(list.begin(), list.end(), i) - list.begin());
}

bool contains(const std::vector<uint32_t>& set, uint32_t i) {
  return std::binary_search(set.begin(), set.end(), i);
}

bool no_op(std::string_view formula, const Deletion& d) {
  return formula.empty() || formula[0] != '=' || (d.cols.empty() && d.rows.empty());
}

void write_line(std::string& out, bool abs, uint32_t index, bool letters) {
  if (abs) out += '$';
  if (letters) {
    append_col_letters(out, uint64_t(index) + 1);
  } else {
    refs_text::append_decimal(out, uint64_t(index) + 1);
  }
}

// ---- Insertion ----

// Moves index i past the insertions at or before it; nothing when that leaves the grid.
// Wrapping around to a small index would silently point at unrelated cells.
std::optional<uint32_t> inserted_index(const std::vector<uint32_t>& points, uint32_t i,
                                       uint32_t last) {
  uint64_t moved = uint64_t(i) + count_at_or_before(points, i);
  if (moved > last) return std::nullopt;
  return uint32_t(moved);
}

struct Inserter {
  std::vector<uint32_t> cols, rows;

  // The cell after the insertion, or nothing when it leaves the grid.
  std::optional<FrameCell> cell(const FrameCell& c) const {
    auto col = inserted_index(cols, c.col, kLastColumn);
    auto row = inserted_index(rows, c.row, kLastIndex);
    if (!col || !row) return std::nullopt;
    FrameCell moved = c;
    moved.col = *col;
    moved.row = *row;
    return moved;
  }

  void operator()(const FrameRef& ref, std::vector<RefEdit>& edits) const {
    auto moved_cell = [](const FrameCell& a, const FrameCell& b) {
      return a.col != b.col || a.row != b.row;
    };
    std::string text;
    switch (ref.kind) {
      case FrameRef::Cell: {
        const FrameCell& c = ref.cell[0];
        if (!c.valid) return;
        auto m = cell(c);
        if (m && !moved_cell(*m, c)) return;
        if (!m) {
          text = kRefError;
        } else {
          write_cell_indexed(m->col_abs, m->col, m->row_abs, m->row, text);
        }
        break;
      }
      case FrameRef::Range: {
        const FrameCell &a = ref.cell[0], &b = ref.cell[1];
        if (!a.valid || !b.valid) return;
        auto ma = cell(a), mb = cell(b);
        if (ma && mb && !moved_cell(*ma, a) && !moved_cell(*mb, b)) return;
        if (!ma || !mb) {
          text = kRefError;
        } else {
          write_cell_indexed(ma->col_abs, ma->col, ma->row_abs, ma->row, text);
          text += ':';
          write_cell_indexed(mb->col_abs, mb->col, mb->row_abs, mb->row, text);
        }
        break;
      }
      case FrameRef::WholeRow:
      case FrameRef::WholeColumn: {
        const FrameLine &a = ref.line[0], &b = ref.line[1];
        if (!a.valid || !b.valid) return;
        bool letters = ref.kind == FrameRef::WholeColumn;
        const std::vector<uint32_t>& points = letters ? cols : rows;
        const uint32_t last = letters ? kLastColumn : kLastIndex;
        auto na = inserted_index(points, a.index, last), nb = inserted_index(points, b.index, last);
        if (na && nb && *na == a.index && *nb == b.index) return;
        if (!na || !nb) {
          text = kRefError;
        } else {
          write_line(text, a.abs, *na, letters);
          text += ':';
          write_line(text, b.abs, *nb, letters);
        }
        break;
      }
    }
    edits.push_back(RefEdit{ref.start, ref.end, std::move(text)});
  }
};

// ---- Deletion ----

struct Deleter {
  std::vector<uint32_t> cols, rows;  // sorted sets

  void operator()(const FrameRef& ref, std::vector<RefEdit>& edits) const {
    std::string text;
    switch (ref.kind) {
      case FrameRef::Cell: {
        const FrameCell& c = ref.cell[0];
        if (!c.valid) return;
        if (contains(cols, c.col) || contains(rows, c.row)) {
          text = kRefError;
          break;
        }
        uint32_t col = c.col - uint32_t(count_before(cols, c.col));
        uint32_t row = c.row - uint32_t(count_before(rows, c.row));
        if (col == c.col && row == c.row) return;
        text = format_cell(col, row);
        break;
      }
      case FrameRef::Range: {
        const FrameCell &a = ref.cell[0], &b = ref.cell[1];
        if (!a.valid || !b.valid) return;
        uint32_t c0 = std::min(a.col, b.col), c1 = std::max(a.col, b.col);
        uint32_t r0 = std::min(a.row, b.row), r1 = std::max(a.row, b.row);
        auto tc = trim_and_shift_range(c0, c1, cols);
        auto tr = trim_and_shift_range(r0, r1, rows);
        if (!tc || !tr) {
          text = kRefError;
          break;
        }
        if (*tc == std::pair(c0, c1) && *tr == std::pair(r0, r1)) return;
        write_cell_indexed(false, tc->first, false, tr->first, text);
        text += ':';
        write_cell_indexed(false, tc->second, false, tr->second, text);
        break;
      }
      case FrameRef::WholeRow:
      case FrameRef::WholeColumn: {
        const FrameLine &a = ref.line[0], &b = ref.line[1];
        if (!a.valid || !b.valid) return;
        bool letters = ref.kind == FrameRef::WholeColumn;
        uint32_t lo = std::min(a.index, b.index), hi = std::max(a.index, b.index);
        auto t = trim_and_shift_range(lo, hi, letters ? cols : rows);
        if (!t) {
          text = kRefError;
          break;
        }
        if (*t == std::pair(lo, hi)) return;
        write_line(text, false, t->first, letters);
        text += ':';
        write_line(text, false, t->second, letters);
        break;
      }
    }
    edits.push_back(RefEdit{ref.start, ref.end, std::move(text)});
  }
};

// ---- Marking deleted endpoints ----

struct Marker {
  std::vector<uint32_t> cols, rows;  // sorted sets

  bool deleted(const FrameCell& c) const {
    return c.valid && (contains(cols, c.col) || contains(rows, c.row));
  }

  void operator()(const FrameRef& ref, std::vector<RefEdit>& edits) const {
    bool first = false, second = false;
    switch (ref.kind) {
      case FrameRef::Cell:
        if (deleted(ref.cell[0])) edits.push_back(RefEdit{ref.start, ref.end, "#REF!"});
        return;
      case FrameRef::Range:
        first = deleted(ref.cell[0]);
        second = deleted(ref.cell[1]);
        break;
      case FrameRef::WholeRow:
      case FrameRef::WholeColumn: {
        const std::vector<uint32_t>& set = ref.kind == FrameRef::WholeRow ? rows : cols;
        first = ref.line[0].valid && contains(set, ref.line[0].index);
        second = ref.line[1].valid && contains(set, ref.line[1].index);
        break;
      }
    }
    if (first && second) {
      edits.push_back(RefEdit{ref.start, ref.end, "#REF!"});
    } else if (first) {
      edits.push_back(RefEdit{ref.start, ref.first_end, "#REF!"});
    } else if (second) {
      edits.push_back(RefEdit{ref.second_start, ref.end, "#REF!"});
    }
  }
};

}  // namespace

namespace {

// In a sorted, duplicate-free list, d[i] - i never decreases, and it stays constant exactly
// along a run of consecutive values. These find the ends of the run through entry p by binary
// search, so trimming a long run of deleted indices costs no step per index.
uint64_t run_key(const std::vector<uint32_t>& d, size_t i) {
  return uint64_t(d[i]) - i;
}

size_t run_end(const std::vector<uint32_t>& d, size_t p) {
  size_t lo = p + 1, hi = d.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (run_key(d, mid) == run_key(d, p)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;  // one past the run's last entry
}

size_t run_begin(const std::vector<uint32_t>& d, size_t p) {
  size_t lo = 0, hi = p;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (run_key(d, mid) < run_key(d, p)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

}  // namespace

std::optional<std::pair<uint32_t, uint32_t>> trim_and_shift_range(
    uint32_t low, uint32_t high, const std::vector<uint32_t>& deleted) {
  if (high < low) return std::nullopt;
  const std::vector<uint32_t>& d = deleted;
  // Raise `low` past the run of deleted indices starting at it.
  size_t p = size_t(std::lower_bound(d.begin(), d.end(), low) - d.begin());
  if (p < d.size() && d[p] == low) {
    uint64_t next = uint64_t(low) + (run_end(d, p) - p);
    if (next > high) return std::nullopt;
    low = uint32_t(next);
  }
  // Lower `high` past the run of deleted indices ending at it.
  size_t q = size_t(std::upper_bound(d.begin(), d.end(), high) - d.begin());
  if (q > 0 && d[q - 1] == high) {
    uint64_t run = q - run_begin(d, q - 1);
    if (uint64_t(high) < uint64_t(low) + run) return std::nullopt;
    high = uint32_t(high - run);
  }
  return std::pair(low - uint32_t(count_before(d, low)), high - uint32_t(count_before(d, high)));
}

std::string adjust_refs_for_insertion(std::string_view formula, const Deletion& inserted) {
  if (no_op(formula, inserted)) return std::string(formula);
  return rewrite_each_ref(formula, Inserter{sorted(inserted.cols), sorted(inserted.rows)});
}

std::string adjust_refs_for_deletion(std::string_view formula, const Deletion& deleted) {
  if (no_op(formula, deleted)) return std::string(formula);
  return rewrite_each_ref(formula, Deleter{sorted_set(deleted.cols), sorted_set(deleted.rows)});
}

std::string rewrite_refs_for_deletion(std::string_view formula, const Deletion& deleted) {
  if (no_op(formula, deleted)) return std::string(formula);
  return rewrite_each_ref(formula, Marker{sorted_set(deleted.cols), sorted_set(deleted.rows)});
}

}  // namespace tabrix::refs
