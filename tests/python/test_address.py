"""Module frame and the six address functions."""
import inspect

import pytest

import tabrix


def test_module_frame():
    assert tabrix.__doc__ == "Python module exported as `tabrix`."
    assert tabrix.__all__ == [
        "Sheet", "evaluate", "extract_refs", "formula_tokens", "rewrite_refs_for_deletion",
        "adjust_refs_for_deletion", "adjust_refs_for_insertion",
        "adjust_refs_for_column_block_move", "adjust_refs_for_column_block_move_data_following",
        "adjust_refs_for_row_block_move", "adjust_refs_for_row_block_move_data_following",
        "shift_formula_refs", "parse_range", "is_unbounded_range", "parse_cell_id", "col_to_index",
        "index_to_col", "cell_id", "list_functions", "signature_help",
    ]
    for name in tabrix.__all__:
        assert hasattr(tabrix, name)
    assert issubclass(tabrix.PanicException, BaseException)
    assert not issubclass(tabrix.PanicException, Exception)
    assert "PanicException" not in tabrix.__all__


@pytest.mark.parametrize("func, params", [
    (tabrix.cell_id, ["row", "col"]),
    (tabrix.parse_range, ["input"]),
    (tabrix.col_to_index, ["letters"]),
    (tabrix.index_to_col, ["index"]),
])
def test_text_signatures(func, params):
    assert list(inspect.signature(func).parameters) == params


@pytest.mark.parametrize("call, expected", [
    (lambda: tabrix.cell_id(0, 0), "A1"),
    (lambda: tabrix.cell_id(11, 1), "B12"),
    (lambda: tabrix.cell_id(row=0, col=26), "AA1"),
    (lambda: tabrix.index_to_col(0), "A"),
    (lambda: tabrix.index_to_col(25), "Z"),
    (lambda: tabrix.index_to_col(index=26), "AA"),
    (lambda: tabrix.col_to_index("aa"), 26),
    (lambda: tabrix.col_to_index("MWLQKWU"), 4294967294),
    (lambda: tabrix.parse_cell_id("b12"), {"row": 11, "col": 1}),
    (lambda: tabrix.parse_range("A:C"),
     {"start": {"row": 0, "col": 0}, "end_col": 2, "end_row": None, "unbounded": True,
      "normalized": "A:C"}),
    (lambda: tabrix.parse_range(input="b5:a1"),
     {"start": {"row": 0, "col": 0}, "end_col": 1, "end_row": 4, "unbounded": False,
      "normalized": "B5:A1"}),
    (lambda: tabrix.is_unbounded_range("A2:B"), True),
    (lambda: tabrix.is_unbounded_range("A1:B2"), False),
    (lambda: tabrix.is_unbounded_range("not a range"), False),
])
def test_results(call, expected):
    assert call() == expected


@pytest.mark.parametrize("call, exc, text", [
    (lambda: tabrix.col_to_index(""), ValueError, 'InvalidColumn: ""'),
    (lambda: tabrix.col_to_index("A\u0301"), ValueError, 'InvalidColumn: "A\\u{301}"'),
    (lambda: tabrix.parse_range("A1"), ValueError,
     "UnknownShape: input does not match any supported range form"),
    (lambda: tabrix.parse_range(""), ValueError, "Empty: range string is empty"),
    (lambda: tabrix.parse_cell_id("A0"), ValueError, 'InvalidRow: "0"'),
    (lambda: tabrix.cell_id(-1, 0), OverflowError, None),
    (lambda: tabrix.cell_id(0, 2**32), OverflowError, None),
    (lambda: tabrix.index_to_col(2**70), OverflowError, None),
    (lambda: tabrix.cell_id("0", 0), TypeError,
     "argument 'row': 'str' object cannot be interpreted as an integer"),
    (lambda: tabrix.cell_id(0, 1.5), TypeError, None),
    (lambda: tabrix.parse_range(5), TypeError, None),
    (lambda: tabrix.cell_id(0), TypeError, None),
    (lambda: tabrix.cell_id(0, 0, 0), TypeError, None),
    (lambda: tabrix.cell_id(0, row=0), TypeError, None),
    (lambda: tabrix.cell_id(0, colx=0), TypeError, None),
])
def test_errors(call, exc, text):
    with pytest.raises(exc) as info:
        call()
    if text is not None:
        assert str(info.value) == text
    if exc is OverflowError:
        assert "argument '" in str(info.value)


def test_int_subclasses_and_index_objects():
    class Idx:
        def __index__(self):
            return 3

    assert tabrix.cell_id(Idx(), True) == "B4"

    class Bad:
        def __index__(self):
            raise KeyError("boom")

    with pytest.raises(KeyError):
        tabrix.cell_id(Bad(), 0)
