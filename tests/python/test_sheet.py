"""The Sheet class: cells, typed values, recalculation order, cycles, spills, names and pins."""
import inspect

import pytest

import tabrix
from tabrix import Sheet


def sheet_with(*pairs):
    s = Sheet()
    s.set_cells(list(pairs))
    return s


# --- cells and typed values -------------------------------------------------------------------

def test_empty_and_literals():
    s = Sheet()
    assert s.get("A1") is None
    s.set_cells([("A1", "5"), ("A2", "x"), ("A3", "True"), ("A4", " =1+1"), ("A5", "1e3"),
                 ("A6", "inf")])
    assert [s.get(f"A{i}") for i in range(1, 7)] == ["5", "x", "TRUE", " =1+1", "1000", "inf"]
    assert s.get_typed("A1") == 5 and isinstance(s.get_typed("A1"), int)
    assert s.get_typed("A3") is True
    assert s.get_typed("A6") == "inf"


def test_set_then_delete_in_one_change():
    s = sheet_with(("A1", "5"), ("A1", ""))
    assert s.get("A1") is None
    assert s.get_all() == {}
    s.set_cells([("Z9", "")])  # deleting a cell without input is harmless
    assert s.get_all() == {}


def test_lower_case_id_is_a_cell_of_its_own():
    s = sheet_with(("a1", "5"), ("B1", "=A1"))
    assert s.get("a1") == "5"
    assert s.get("B1") is None  # =A1 reads the empty canonical cell


@pytest.mark.parametrize("payload, text, typed", [
    ({"kind": "string", "value": "=1+1"}, "=1+1", "=1+1"),
    ({"kind": "number", "value": 42.5}, "42.5", 42.5),
    ({"kind": "number", "value": True}, "1", 1),
    ({"kind": "boolean", "value": False}, "FALSE", False),
    ({"kind": "raw", "value": "=2*3"}, "6", 6),
    ({"kind": "custom", "type_tag": "money", "data": "5 EUR"}, "5 EUR",
     {"type_tag": "money", "data": "5 EUR"}),
])
def test_typed_payloads(payload, text, typed):
    s = Sheet()
    s.set_cells_typed([("A1", payload)])
    assert s.get("A1") == text
    assert s.get_typed("A1") == typed


def test_typed_then_raw_write_and_empty_kind():
    s = Sheet()
    s.set_cells_typed([("A1", {"kind": "number", "value": 42.5})])
    s.set_cells([("A1", "7")])
    assert s.get_typed("A1") == 7
    s.set_cells_typed([("A1", {"kind": "empty"})])
    assert s.get("A1") is None


@pytest.mark.parametrize("payload, message", [
    ("x", "cell A2: ValueError: payload must be a dict"),
    ({}, "cell A2: ValueError: missing key `kind`"),
    ({"kind": 1}, "cell A2: ValueError: `kind` must be str"),
    ({"kind": "text"}, "cell A2: ValueError: unknown kind `text`"),
    ({"kind": "number", "value": "x"}, "cell A2: ValueError: number: `value` must be numeric"),
    ({"kind": "number"}, "cell A2: ValueError: number: missing key `value`"),
    ({"kind": "boolean", "value": 1}, "cell A2: ValueError: boolean: `value` must be bool"),
    ({"kind": "custom", "type_tag": "t"}, "cell A2: ValueError: custom: missing key `data`"),
    ({"kind": "raw", "value": 3}, "cell A2: ValueError: raw: `value` must be str"),
    ({"kind": "string"}, "cell A2: ValueError: string: missing key `value`"),
])
def test_bad_payload_stores_nothing(payload, message):
    s = Sheet()
    with pytest.raises(ValueError) as info:
        s.set_cells_typed([("A1", {"kind": "raw", "value": "1"}), ("A2", payload)])
    assert str(info.value) == message
    assert s.get_all() == {}


# --- recalculation ----------------------------------------------------------------------------

def test_evaluation_follows_dependencies():
    s = sheet_with(("A1", "=B1*2"), ("B1", "=C1+1"))
    s.set_cells([("C1", "4")])
    assert (s.get("B1"), s.get("A1")) == ("5", "10")


@pytest.mark.parametrize("cells, message", [
    ([("A1", "=A1")], "#CIRCULAR! Cycle detected involving: A1"),
    ([("A1", "=B1"), ("B1", "=A1"), ("C1", "=A1+1")],
     "#CIRCULAR! Cycle detected involving: A1, B1, C1"),
    ([("A2", "=A10"), ("A10", "=A2")], "#CIRCULAR! Cycle detected involving: A10, A2"),
])
def test_cycles(cells, message):
    s = Sheet()
    with pytest.raises(ValueError) as info:
        s.set_cells(cells)
    assert str(info.value) == message
    # Nothing is evaluated in the pass that finds the cycle; the readers keep working.
    assert s.get_all() == {}
    assert s.get_name("X") is None


def test_cycle_keeps_input_and_can_be_broken():
    s = Sheet()
    with pytest.raises(ValueError):
        s.set_cells([("A1", "=B1"), ("B1", "=A1")])
    s.set_cells([("B1", "3")])
    assert s.get("A1") == "3"


def test_whole_column_grows_with_bounds():
    s = sheet_with(*[(f"C{i}", str(i)) for i in range(1, 6)], ("A1", "=SUM(C:C)"))
    assert s.get("A1") == "15"
    s.set_cells([("C20", "7")])
    assert s.get("A1") == "22"


def test_bounds_read_ids_byte_by_byte():
    # AF1 spills into AG1 (column 33). The whole row reaches column 32 until "a1", whose "a"
    # counts as column 33 by the byte rule, raises the bound.
    s = sheet_with(("AF1", "=SEQUENCE(1, 2)"), ("A2", "=SUM(1:1)"))
    assert s.get("A2") == "1"
    s.set_cells([("a1", "x")])
    assert s.get("A2") == "3"


def test_range_over_100000_cells_records_no_dependencies():
    s = sheet_with(("A1", "=SUM(A2:Z10000)"), ("A2", "=A1"))  # no cycle through A2
    assert s.get("A2") == "#SIZE! range exceeds 100000 cells"
    with pytest.raises(ValueError, match="A1, A2$"):
        s.set_cells([("A1", "=SUM(A2:Z3)")])


def test_parse_error_does_not_stop_other_cells():
    s = sheet_with(("A1", "=1+"), ("A2", "=2*3"))
    assert s.get("A1").startswith("Unexpected")
    assert s.get("A2") == "6"


def test_long_dependency_chain():
    n = 20000
    s = Sheet()
    s.set_cells([("A1", "1")] + [(f"A{i}", f"=A{i - 1}+1") for i in range(2, n + 1)])
    assert s.get(f"A{n}") == str(n)


# --- spills -----------------------------------------------------------------------------------

def test_sequence_spills_and_blocks():
    s = sheet_with(("A1", "=SEQUENCE(3)"))
    assert [s.get(f"A{i}") for i in (1, 2, 3)] == ["1", "2", "3"]
    assert s.spill_at("A1") == {"rows": 3, "cols": 1}
    assert s.spill_at("A2") is None
    assert s.owner_of("A2") == "A1" and s.owner_of("A1") == "A1"
    s.set_cells([("A3", "x")])
    assert (s.get("A1"), s.get("A2"), s.get("A3")) == ("#SPILL!", None, "x")
    assert s.spill_at("A1") is None
    s.set_cells([("A3", "")])
    assert s.get("A3") == "3"


def test_spill_arrays_and_readers():
    s = sheet_with(("A1", "=SEQUENCE(2, 2)"))
    assert s.spill_at("A1") == {"rows": 2, "cols": 2}
    assert s.get_array("A1") == [["1", "2"], ["3", "4"]]
    assert s.get_array_typed("A1") == [[1, 2], [3, 4]]
    assert s.get_array("B2") is None
    assert s.owner_of("B2") == "A1"
    assert s.get_all() == {"A1": "1", "B1": "2", "A2": "3", "B2": "4"}
    assert s.get_all_typed()["B2"] == 4


def test_single_cell_array_is_a_plain_value():
    s = sheet_with(("A1", "=SEQUENCE(1)"))
    assert s.get("A1") == "1"
    assert s.owner_of("A1") is None and s.spill_at("A1") is None


def test_overlapping_spills_one_wins():
    s = sheet_with(("A2", "=SEQUENCE(1, 3)"), ("B1", "=SEQUENCE(3, 1)"))
    assert sorted([s.get("A2"), s.get("B1")]) == ["#SPILL!", "1"]


def test_formula_blocks_even_when_empty():
    s = sheet_with(("A1", "=SEQUENCE(2)"), ("A2", "=Z99"))
    assert s.get("A1") == "#SPILL!"


def test_spill_reference_routes_to_anchor():
    s = sheet_with(("B1", "=A2*10"), ("A1", "=SEQUENCE(3)"))
    assert s.get("B1") == "20"
    s2 = sheet_with(("A1", "=SEQUENCE(3)"), ("B1", "=SUM(A1#)"))
    assert s2.get("B1") == "6"


@pytest.mark.parametrize("tag, shown", [
    ("t", ["1", "2"]),  # the handler displays the value as "": its input text blocks nothing
    ("u", ["#SPILL!", "blank"]),  # no handler: the input text is the data text
])
def test_typed_input_text_is_rendered_by_the_handler(tag, shown):
    class Blank:
        type_tag = "t"
        display = staticmethod(lambda value: "" if value["data"] == "blank" else value["data"])

    s = Sheet()
    s.register_type(Blank())
    s.set_cells_typed([("A2", {"kind": "custom", "type_tag": tag, "data": "blank"})])
    s.set_cells([("A1", "=SEQUENCE(2)")])
    assert [s.get("A1"), s.get("A2")] == shown


def test_spill_past_the_last_row_is_blocked():
    s = sheet_with(("A4294967295", "=SEQUENCE(2)"), ("B4294967294", "=SEQUENCE(2)"))
    assert [s.get("A4294967295"), s.get("B4294967294"), s.get("B4294967295")] == [
        "#SPILL!", "1", "2"]


def test_lower_case_anchor_does_not_spill():
    s = sheet_with(("a1", "=SEQUENCE(3)"))
    assert s.get("a1") == "1"
    assert s.get("AG1") is None and s.get("AG2") is None
    assert s.spill_at("a1") is None


# --- names ------------------------------------------------------------------------------------

def test_names_define_use_and_redefine():
    s = Sheet()
    s.set_name("rate", "0.05")
    s.set_name("other", "1")
    s.set_cells([("A1", "=RATE*100")])
    assert s.get("A1") == "5"
    assert s.get_name("Rate") == "0.05"
    s.set_name("RATE", "0.5")
    assert s.get("A1") == "50"
    assert list(s.names()) == ["RATE", "OTHER"]
    s.remove_name("rate")
    assert s.get("A1") == "#NAME?"
    s.remove_name("never_defined")


@pytest.mark.parametrize("name, message", [
    ("", "Name must not be empty"),
    ("9lives", 'Invalid name "9lives": must start with a letter or underscore'),
    ("my-name", 'Invalid name "my-name": only letters, digits, and underscores allowed'),
    ("true", 'Invalid name "true": shadows a boolean literal'),
    ("B2", 'Invalid name "B2": looks like a cell reference'),
    ("xfd1", 'Invalid name "xfd1": looks like a cell reference'),
    ("sum", 'Invalid name "sum": shadows a built-in function'),
    ("Mean", 'Invalid name "Mean": shadows a built-in function'),
    ("AVG", 'Invalid name "AVG": shadows a built-in function'),
])
def test_bad_names(name, message):
    s = Sheet()
    with pytest.raises(ValueError) as info:
        s.set_name(name, "1")
    assert str(info.value) == message
    assert s.names() == {}


def test_name_definitions():
    s = Sheet()
    s.set_name("_x1", "1")  # valid, though formulas cannot spell it
    s.set_name("flag_", "TRUE")
    s.set_name("blank", "")
    with pytest.raises(ValueError):
        s.set_name("broken", "=SUM(")
    assert s.get_name("broken") is None
    s.set_name("myrange", "=A1:A3")
    s.set_name("a_one", "=B_TWO")
    s.set_name("b_two", "=A_ONE")
    s.set_cells([("A1", "1"), ("A2", "2"), ("A3", "3"), ("B1", "=SUM(MYRANGE)"),
                 ("B2", "=FLAG_"), ("B3", "=A_ONE"), ("B4", "=MYRANGE_COUNT"), ("B5", "=BLANK"),
                 ("B6", "=SUM(MYRANGE)+SUM(MYRANGE)")])
    assert s.get("B1") == "6"
    assert s.get("B2") == "TRUE" and s.get_typed("B2") == "TRUE"
    assert s.get("B3") == "#CIRCULAR!"
    assert s.get("B4") == "#NAME?"
    assert s.get("B5") == ""
    assert s.get("B6") == "12"
    s.set_cells([("A2", "20")])
    assert s.get("B1") == "24"


@pytest.mark.parametrize("cells, shown", [
    # An undefined name fails the whole formula before its references count: no cycle
    # through B1, also when the sheet has no names at all.
    ([("A1", "=B1+NOPE"), ("B1", "=A1")], {"A1": "#NAME?", "B1": "#NAME?"}),
    ([("A1", "=IF(TRUE, 1, NOPE)")], {"A1": "#NAME?"}),
])
@pytest.mark.parametrize("define_other", [False, True])
def test_undefined_names(cells, shown, define_other):
    s = Sheet()
    if define_other:
        s.set_name("OTHER", "1")
    s.set_cells(cells)
    assert {cell: s.get(cell) for cell in shown} == shown


def test_names_nest_at_most_1000_deep():
    s = Sheet()
    for i in range(1001, 0, -1):
        s.set_name(f"N{i}_", f"=N{i + 1}_" if i < 1001 else "1")
    s.set_cells([("A1", "=N1_"), ("A2", "=N2_")])  # 1001 and 1000 nested names
    assert [s.get("A1"), s.get("A2")] == ["#VALUE! names nested too deeply", "1"]


def test_deep_name_chain_does_not_crash():
    s = Sheet()
    n = 20000
    for i in range(n, 0, -1):
        s.set_name(f"N{i}_", f"=N{i + 1}_" if i < n else "1")
    s.set_cells([("A1", "=N1_")])
    assert s.get("A1").startswith("#")


# --- pins -------------------------------------------------------------------------------------

def test_pin_spills_and_unpins():
    s = Sheet()
    s.pin_value("B2", [["a", "b"], ["c", "d"]])
    assert [s.get(c) for c in ("B2", "C2", "B3", "C3")] == ["a", "b", "c", "d"]
    assert s.spill_at("B2") == {"rows": 2, "cols": 2}
    assert s.owner_of("C3") == "B2"
    assert s.is_pinned("B2") and not s.is_pinned("C3")
    s.pin_value("B2", [["x"]])
    assert s.get("B2") == "x" and s.get("C3") is None
    s.unpin_value("B2")
    assert s.get("B2") is None
    s.unpin_value("B2")  # not pinned: nothing happens


def test_pin_over_formula_and_blocked_pin():
    s = sheet_with(("A1", "=1+1"), ("D2", "keep"))
    s.pin_value("A1", [["p"]])
    assert s.get("A1") == "p"
    s.unpin_value("A1")
    assert s.get("A1") == "2"
    s.pin_value("D1", [["1"], ["2"]])
    assert s.get("D1") == "#SPILL!" and s.get("D2") == "keep"


@pytest.mark.parametrize("inputs, anchor, rows", [
    ([], "B3", [["7"]]),
    ([], "Z9", [["a", "b"], ["c", "d"]]),
    ([("C3", "x")], "B3", [["7", "8"]]),  # blocked: the anchor showed "#SPILL!"
    ([], "b3", [["7", "8"]]),  # not written as references write cells: does not spill
])
def test_unpinned_anchor_without_input_reads_empty(inputs, anchor, rows):
    s = sheet_with(*inputs)
    s.pin_value(anchor, rows)
    assert s.get(anchor) is not None
    s.unpin_value(anchor)
    assert s.get(anchor) is None
    assert s.get_all() == {cell: text for cell, text in inputs}


def test_pin_inside_earlier_region_is_not_placed():
    s = sheet_with(("A1", "=SEQUENCE(3)"))
    s.pin_value("A2", [["p"]])
    assert s.get("A2") == "2"
    assert s.owner_of("A2") == "A1"


@pytest.mark.parametrize("rows, message", [
    ([], "InvalidShape: array must have at least one row"),
    ([[]], "InvalidShape: array must have at least one column"),
    ([["x"], ["y", "z"]], "InvalidShape: rows must all have the same length"),
])
def test_pin_shape_errors(rows, message):
    s = Sheet()
    with pytest.raises(ValueError) as info:
        s.pin_value("C1", rows)
    assert str(info.value) == message
    assert s.pinned_cells() == []


def test_pinned_cells_sorted_as_text():
    s = Sheet()
    for anchor in ("B1", "A10", "A2"):
        s.pin_value(anchor, [["1"]])
    assert s.pinned_cells() == ["A10", "A2", "B1"]


# --- the Python surface -----------------------------------------------------------------------

def test_signatures_and_argument_errors():
    assert list(inspect.signature(Sheet.set_cells).parameters) == ["self", "changes"]
    assert list(inspect.signature(Sheet.pin_value).parameters) == ["self", "cell_id", "rows"]
    s = Sheet()
    with pytest.raises(TypeError, match="argument 'changes'"):
        s.set_cells("A1")
    with pytest.raises(TypeError):
        s.set_cells([("A1", 5)])
    with pytest.raises(TypeError):
        s.set_cells([("A1",)])
    with pytest.raises(TypeError, match="argument 'rows'"):
        s.pin_value("A1", ["ab"])
    with pytest.raises(TypeError, match="argument 'cell_id'"):
        s.get(1)
    with pytest.raises(TypeError):
        Sheet(1)
    for call in (lambda: s.names(1), lambda: s.pinned_cells(x=1), lambda: s.get_all(None),
                 lambda: s.get(cell_id="A1", extra=1)):
        with pytest.raises(TypeError):
            call()
    assert tabrix.__all__[0] == "Sheet"


class ClearsOnConvert:
    """Empties a list while the module converts it (through __float__, __index__ or, as a
    nested sequence, through its items)."""

    def __init__(self, victim):
        self.victim = victim

    def _clear(self):
        self.victim.clear()

    def __float__(self):
        self._clear()
        return 1.0

    def __index__(self):
        self._clear()
        return 1

    def __len__(self):
        return 1

    def __getitem__(self, i):
        if i:
            raise IndexError(i)
        self._clear()
        return "x"


class RemovesOnCompare:
    """A dict key hashed like `key`: looking up `key` compares with it, and the comparison
    removes the entry `target` from the dict and lets new texts take its memory."""

    def __init__(self, d, key, target):
        self.d, self.key, self.target = d, key, target

    def __hash__(self):
        return hash(self.key)

    def __eq__(self, other):
        self.d.pop(self.target, None)
        self.reuse = ["".join(["zz", "z"]) for _ in range(64)]
        return False


def payload_losing_kind():
    d = {"kind": "".join(["ra", "w"])}  # a str of its own, freed when removed
    d[RemovesOnCompare(d, "value", "kind")] = 1
    return d


@pytest.mark.parametrize("call", [
    lambda s, v: v.extend([ClearsOnConvert(v), ["a"], ["b"], ["c"]]) or s.pin_value("A1", v),
    lambda s, v: v.extend([("A1", {"kind": "number", "value": ClearsOnConvert(v)}),
                           ("A2", {"kind": "number", "value": ClearsOnConvert(v)}),
                           ("A3", {"kind": "string", "value": "s" * 64})])
    or s.set_cells_typed(v),
    lambda s, v: v.extend([ClearsOnConvert(v), 1, 2])
    or tabrix.adjust_refs_for_insertion("=A1", None, v),
])
def test_arguments_changed_during_conversion(call):
    # The list handed in is emptied half-way through its conversion: the call still sees the
    # items it was given (or fails cleanly), never freed ones.
    victim = []
    s = Sheet()
    try:
        call(s, victim)
    except (TypeError, ValueError):
        pass


def test_payload_key_removed_during_lookup():
    s = Sheet()
    with pytest.raises(ValueError, match="^cell A1: ValueError: raw: missing key `value`$"):
        s.set_cells_typed([("A1", payload_losing_kind())])
