"""What the fuzz targets and the random drivers found, one minimal case each, kept as
regression tests."""
import pytest

import tabrix
from tabrix import Sheet


def test_unpinned_blocked_anchor_reads_empty():
    s = Sheet()
    s.set_cells([("C3", "x"), ("E5", "=B3")])
    s.pin_value("B3", [["7", "", ""]])  # blocked by C3
    assert s.get("B3") == "#SPILL!"
    s.unpin_value("B3")
    assert (s.get("B3"), s.get("E5")) == (None, None)


def test_columns_stop_where_references_can_name_them():
    # The letters of column 4294967295 (1-based) read back as unusable, so no move may write
    # them: a move there is refused, one to the column before it goes there and back.
    assert tabrix.adjust_refs_for_column_block_move("=A1+B1", 0, 0, 4294967294) == "=A1+B1"
    moved = tabrix.adjust_refs_for_column_block_move("=A1+B1", 0, 0, 4294967293)
    assert tabrix.extract_refs(moved)[0]["cells"] != []
    assert tabrix.adjust_refs_for_column_block_move(moved, 4294967293, 4294967293, 0) == "=A1+B1"


def test_names_that_double_at_every_level_stop_expanding():
    # X_i uses X_(i+1) twice: X_0 would expand into 2**41 nodes and exhaust memory. The
    # expansion stops at a bound and the formula shows why, also in a branch IF never takes.
    s = Sheet()
    s.set_name("X_40", "=1")
    for i in reversed(range(40)):
        s.set_name(f"X_{i}", f"=X_{i + 1}+X_{i + 1}")
    s.set_cells([("A1", "=X_0"), ("A2", "=X_24"), ("A3", "=IF(FALSE, X_0, 1)")])
    assert [s.get(c) for c in ("A1", "A2", "A3")] == [
        "#VALUE! names expand too far", str(2**16), "#VALUE! names expand too far"]
