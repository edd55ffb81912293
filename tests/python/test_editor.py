"""Editor assistance: the function catalog, completion, signature help and token
classification, at module level and on a Sheet."""

import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

import tabrix

# ---- Function catalog ----

# name, aliases, category, signature: the signature shows every parameter name, which ones
# are optional and whether the function is variadic.
CATALOG = [
    ("SUM", [], "Math", "SUM(value, ...)"),
    ("AVERAGE", ["MEAN", "AVG"], "Statistical", "AVERAGE(value, ...)"),
    ("MIN", [], "Statistical", "MIN(value, ...)"),
    ("MAX", [], "Statistical", "MAX(value, ...)"),
    ("COUNT", [], "Statistical", "COUNT(value, ...)"),
    ("ABS", [], "Math", "ABS(value)"),
    ("ROUND", [], "Math", "ROUND(value, decimals?)"),
    ("IF", [], "Logical", "IF(condition, then_value?, else_value?)"),
    ("CONCAT", [], "Text", "CONCAT(value, ...)"),
    ("LEN", [], "Text", "LEN(text)"),
    ("UPPER", [], "Text", "UPPER(text)"),
    ("LOWER", [], "Text", "LOWER(text)"),
    ("SEQUENCE", [], "Array", "SEQUENCE(rows, cols?, start?, step?)"),
    ("TRANSPOSE", [], "Array", "TRANSPOSE(array)"),
    ("FILTER", [], "Array", "FILTER(array, condition)"),
    ("SORT", [], "Array", "SORT(array, sort_col?, ascending?)"),
    ("UNIQUE", [], "Array", "UNIQUE(array)"),
]

SUM_DOC = (
    "Returns the sum of a series of numbers and/or cells.\n\nExamples:\n"
    "  =SUM(1, 2, 3) → 6\n  =SUM(A1:A10) → (sum of A1 through A10)"
)


def signature(info):
    parts = [p["name"] + ("?" if p["optional"] else "") for p in info["params"]]
    if info["variadic"] is not None:
        parts.append(info["variadic"]["name"] + ", ...")
    return f"{info['name']}({', '.join(parts)})"


def completions():
    """Every built-in's completion item, keyed by name."""
    return {i["label"]: i for i in tabrix.Sheet().complete("=", 1)["items"] if i["kind"] == "function"}


def test_catalog_entries():
    functions = tabrix.list_functions()
    assert [(f["name"], f["aliases"], f["category"], signature(f)) for f in functions] == CATALOG
    for f in functions:
        assert list(f) == ["name", "aliases", "category", "params", "variadic", "description", "examples"]
        assert f["description"] and f["examples"]
        # a function has fixed parameters or a variadic one, never both
        assert (f["variadic"] is None) == bool(f["params"])
        for p in f["params"] + ([f["variadic"]] if f["variadic"] else []):
            assert list(p) == ["name", "optional", "description"] and p["description"]
        for e in f["examples"]:
            assert list(e) == ["formula", "result"] and e["formula"].startswith("=" + f["name"] + "(")
    # the variadic parameter of an aggregate is not optional
    assert functions[0]["variadic"] == {
        "name": "value",
        "optional": False,
        "description": "A number, cell reference, or range to add.",
    }
    assert functions[0]["examples"] == [
        {"formula": "=SUM(1, 2, 3)", "result": "6"},
        {"formula": "=SUM(A1:A10)", "result": "(sum of A1 through A10)"},
    ]


def test_sheet_catalog_without_custom_functions_is_the_builtins():
    assert tabrix.Sheet().list_functions() == tabrix.list_functions()


def test_completion_texts_come_from_the_catalog():
    items = completions()
    assert items["SUM"]["detail"] == "SUM(value, ...)"
    assert items["SUM"]["documentation"] == SUM_DOC
    for f in tabrix.list_functions():
        item = items[f["name"]]
        assert item["insert"] == f["name"] + "("
        assert item["detail"] == signature(f)
        lines = [f"  {e['formula']} → {e['result']}" for e in f["examples"]]
        assert item["documentation"] == f["description"] + "\n\nExamples:\n" + "\n".join(lines)


# ---- Completion ----

ALL = sorted(name for name, *_ in CATALOG)


@pytest.mark.parametrize(
    "formula, cursor, names, labels, replace",
    [
        ("=SU", 3, [], ["SUM"], (1, 3)),
        ("=s", 2, [], ["SEQUENCE", "SORT", "SUM"], (1, 2)),  # upper-cased, sorted by label
        ("=", 1, ["Tax_rate"], sorted(ALL + ["TAX_RATE"]), (1, 1)),
        ("=SUM(", 5, [], ALL, (5, 5)),
        ("=SUM(A1", 7, [], [], (5, 7)),  # a cell-like word is still a word
        ("=1+", 3, [], ALL, (3, 3)),
        ("={1;", 4, [], ALL, (4, 4)),
        ("=IF(1,", 6, [], ALL, (6, 6)),
        ("=1", 2, [], [], (2, 2)),
        ("=av", 3, [], ["AVERAGE"], (1, 3)),  # aliases are not offered
        ("=AVG", 4, [], [], (1, 4)),
        ("=ta", 3, ["Tax_rate"], ["TAX_RATE"], (1, 3)),
        ("=s", 2, ["sales", "Sq"], ["SALES", "SEQUENCE", "SORT", "SQ", "SUM"], (1, 2)),
        ("=$S", 3, ["SALES"], [], (1, 3)),  # the "$" is part of the typed word
        ("=SUM(1, S", 9, [], ["SEQUENCE", "SORT", "SUM"], (8, 9)),
        ("=SUM(1, S", 8, [], ALL, (8, 8)),  # cursor before the word: after a comma
        ("=SU", 2, [], ["SEQUENCE", "SORT", "SUM"], (1, 2)),  # only the prefix counts
        ("=SUM ", 5, [], [], (5, 5)),  # after a word and a space
        ("=SUM(1)", 7, [], [], (7, 7)),
        ("=A1:", 4, [], [], (4, 4)),
        ("=A1#", 4, [], [], (4, 4)),
        ("=TRUE", 5, [], [], (5, 5)),
        ('="x"', 4, [], [], (4, 4)),
        ("=SU", 99, [], ["SUM"], (1, 3)),  # beyond the end counts as the end
        ("=SUM(1)", 2**64 - 1, [], [], (7, 7)),
        ("=SU", 0, [], ALL, (0, 0)),  # empty prefix
        ("A1", 10, [], [], (10, 10)),  # not a formula: the cursor as given
        ("", 3, [], [], (3, 3)),
        ('="abc', 5, [], [], (5, 5)),  # unterminated string
        ("=1 ! S", 6, [], [], (6, 6)),  # stray character
        ('="é"&SU', 7, [], ["SUM"], (5, 7)),  # offsets count characters
        ('="\U0001F600"&s', 6, [], ["SEQUENCE", "SORT", "SUM"], (5, 6)),
    ],
)
def test_complete(formula, cursor, names, labels, replace):
    sheet = tabrix.Sheet()
    for name in names:
        sheet.set_name(name, "1")
    result = sheet.complete(formula, cursor)
    assert [i["label"] for i in result["items"]] == labels
    assert (result["replace_start"], result["replace_end"]) == replace


def test_complete_item_shapes():
    sheet = tabrix.Sheet()
    sheet.set_name("Tax_rate", "=0.05")
    result = sheet.complete(formula="=t", cursor=2)
    assert list(result) == ["replace_start", "replace_end", "items"]
    name, transpose = result["items"]
    assert name == {
        "kind": "name",
        "label": "TAX_RATE",
        "insert": "TAX_RATE",
        "detail": "Named range",
        "documentation": None,
    }
    assert transpose["kind"] == "function" and transpose["insert"] == "TRANSPOSE("


def test_complete_names_follow_definition_order_among_equal_prefixes():
    sheet = tabrix.Sheet()
    for name in ["b_2", "B_1", "a"]:
        sheet.set_name(name, "1")
    sheet.set_name("b_2", "2")  # redefining keeps the place
    labels = [i["label"] for i in sheet.complete("=b_", 3)["items"]]
    assert labels == ["B_1", "B_2"]


# ---- Signature help ----


@pytest.mark.parametrize(
    "formula, cursor, expected",
    [
        ("=SUM(1, 2", 9, ("SUM", 1)),
        ("=SUM(", 5, ("SUM", 0)),
        ("=SUM(1, 2", 5, ("SUM", 0)),  # cursor inside the call, before the commas
        ("=SUM(1, 2", 4, None),  # on the name: the call is not open yet
        ("=SUM(1, 2", 100, ("SUM", 1)),
        ("=IF(A1>0, SUM(1,2", 18, ("SUM", 1)),
        ("=IF(A1>0, SUM(1,2)", 19, ("IF", 1)),
        ("=IF(A1>0, SUM(1,2), ", 21, ("IF", 2)),
        ("=SUM(1,2)", 9, None),
        ("=SUM((1, 2), 3", 14, ("SUM", 1)),  # a plain parenthesis is looked through
        ("=SUM((1, 2", 10, ("SUM", 0)),  # its commas count only for it
        ("=SUM({1, 2, 3}", 14, ("SUM", 2)),  # commas in an array literal count
        ("=SUM({1; 2}", 11, ("SUM", 0)),
        ("=AVG(1", 6, ("AVERAGE", 0)),  # an alias finds its function
        ("=mean(1,", 8, ("AVERAGE", 1)),
        ("=sum(1", 6, ("SUM", 0)),
        ("=SUM (1, 2", 10, ("SUM", 1)),  # a space before "(" still makes a call
        ("=SUM(1))+ROUND(", 15, ("ROUND", 0)),  # an extra ")" is ignored
        ("=1, 2", 5, None),
        ("=MYFN(1, 2", 10, None),  # not a built-in
        ("=(1, 2", 6, None),
        ('=CONCAT("a, b', 13, None),  # inside a string: the prefix does not tokenize
        ('=CONCAT("a", "é", ', 18, ("CONCAT", 2)),
        ("SUM(1, 2", 8, None),  # not a formula
        ("", 0, None),
        ("=", 1, None),
    ],
)
def test_signature_help(formula, cursor, expected):
    help_ = tabrix.signature_help(formula, cursor)
    got = None if help_ is None else (help_["function"]["name"], help_["active_param"])
    assert got == expected
    assert tabrix.Sheet().signature_help(formula, cursor) == help_


def test_signature_help_carries_the_function_info():
    help_ = tabrix.signature_help(formula="=ROUND(3.456, ", cursor=14)
    assert list(help_) == ["function", "active_param"]
    assert help_ == {"function": tabrix.list_functions()[6], "active_param": 1}


def test_custom_functions_in_sheet_help_but_not_in_completion():
    sheet = tabrix.Sheet()
    sheet.register_function("myfn", lambda *args: 1)
    sheet.register_function("Other", lambda *args: 2)
    custom = {
        "name": "myfn",
        "aliases": [],
        "category": "Custom",
        "params": [],
        "variadic": {"name": "args", "optional": True, "description": ""},
        "description": "",
        "examples": [],
    }
    functions = sheet.list_functions()
    assert len(functions) == 19
    assert functions[17] == custom and functions[18]["name"] == "Other"
    assert sheet.signature_help("=MYFN(1, 2", 10) == {"function": custom, "active_param": 1}
    assert tabrix.signature_help("=MYFN(1, 2", 10) is None
    assert [i["label"] for i in sheet.complete("=my", 3)["items"]] == []
    assert [i["label"] for i in sheet.complete("=o", 2)["items"]] == []


# ---- Token classification ----


@pytest.mark.parametrize(
    "formula, spans",
    [
        ("A1+1", []),
        ("", []),
        ("=", []),
        ("=SUM(A1:B2)", [(1, 4, "function"), (4, 5, "paren"), (5, 10, "range"), (10, 11, "paren")]),
        ("=A1 : B2", [(1, 8, "range")]),
        ("=A:C", [(1, 4, "range")]),
        ("=$A:$C", [(1, 6, "range")]),
        ("=3:5", [(1, 4, "range")]),
        ("=A1:B", [(1, 3, "cell_ref"), (3, 4, "operator"), (4, 5, "name")]),
        ("=A1:3", [(1, 3, "cell_ref"), (3, 4, "operator"), (4, 5, "number")]),
        ("=A_1:B", [(1, 4, "name"), (4, 5, "operator"), (5, 6, "name")]),  # not letters only
        ("=A1:B2:C3", [(1, 6, "range"), (6, 7, "operator"), (7, 9, "cell_ref")]),
        (
            "=rate * 2",
            [(1, 5, "name"), (5, 6, "whitespace"), (6, 7, "operator"), (7, 8, "whitespace"), (8, 9, "number")],
        ),
        ("=f (1)", [(1, 2, "function"), (2, 3, "whitespace"), (3, 4, "paren"), (4, 5, "number"), (5, 6, "paren")]),
        ("=TRUE", [(1, 5, "boolean")]),
        ("=A1#", [(1, 3, "cell_ref"), (3, 4, "operator")]),
        (
            "={1,2;3}",
            [
                (1, 2, "paren"),
                (2, 3, "number"),
                (3, 4, "comma"),
                (4, 5, "number"),
                (5, 6, "comma"),
                (6, 7, "number"),
                (7, 8, "paren"),
            ],
        ),
        ("=1<>2", [(1, 2, "number"), (2, 4, "operator"), (4, 5, "number")]),
        (
            '=SUM(1, "x")  ',
            [
                (1, 4, "function"),
                (4, 5, "paren"),
                (5, 6, "number"),
                (6, 7, "comma"),
                (7, 8, "whitespace"),
                (8, 11, "string"),
                (11, 12, "paren"),
                (12, 14, "whitespace"),
            ],
        ),
        (
            "=1 + !x",
            [(1, 2, "number"), (2, 3, "whitespace"), (3, 4, "operator"), (4, 5, "whitespace"), (5, 7, "unknown")],
        ),
        ('="abc', [(1, 5, "unknown")]),
        ("=$A1B+1", [(1, 7, "unknown")]),
        ("=   ", [(1, 4, "whitespace")]),
        ("=\t\n\r\f", [(1, 5, "whitespace")]),
        ("=\v", [(1, 2, "unknown")]),  # vertical tab is not white space
        ('="é"&A1', [(1, 4, "string"), (4, 5, "operator"), (5, 7, "cell_ref")]),
        ("=1+é", [(1, 2, "number"), (2, 3, "operator"), (3, 4, "unknown")]),
        ('="\ud800"&A1', [(1, 4, "string"), (4, 5, "operator"), (5, 7, "cell_ref")]),  # lone surrogate
    ],
)
def test_formula_tokens(formula, spans):
    assert [(t["start"], t["end"], t["kind"]) for t in tabrix.formula_tokens(formula)] == spans


FORMULA_CHARS = st.sampled_from(
    list("AZaz019$.:#,;(){}+-*/^&%=<> \t\n'\"_!?é") + ["\v", "\u00a0", "\U0001F600", "\ud800", "\0"]
)


@settings(max_examples=400, deadline=None)
@given(st.text(FORMULA_CHARS, max_size=40))
@example("SUM(A1:B2) + 'x")
def test_formula_tokens_cover_every_character_once(body):
    formula = "=" + body
    spans = tabrix.formula_tokens(formula)
    position = 1
    for span in spans:
        assert span["start"] == position < span["end"]
        position = span["end"]
    assert position == len(formula)
    # whitespace spans hold white space only; an unknown span can only come last
    for span in spans:
        if span["kind"] == "whitespace":
            assert formula[span["start"] : span["end"]].strip(" \t\n\r\f") == ""
    assert all(s["kind"] != "unknown" for s in spans[:-1])


@settings(max_examples=200, deadline=None)
@given(st.text(FORMULA_CHARS, max_size=30), st.integers(0, 40))
def test_editor_functions_answer_any_text_and_cursor(text, cursor):
    sheet = tabrix.Sheet()
    for formula in (text, "=" + text):
        result = sheet.complete(formula, cursor)
        end = min(cursor, len(formula)) if formula.startswith("=") else cursor
        assert result["replace_end"] == end and result["replace_start"] <= end
        help_ = sheet.signature_help(formula, cursor)
        assert help_ is None or help_["function"]["name"] in ALL


# ---- Arguments and large input ----


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda: tabrix.signature_help("=SUM(", -1), OverflowError),
        (lambda: tabrix.Sheet().signature_help("=SUM(", -1), OverflowError),
        (lambda: tabrix.Sheet().complete("=S", -1), OverflowError),
        (lambda: tabrix.Sheet().complete("=S", 2**64), OverflowError),
        (lambda: tabrix.signature_help("=SUM(", "5"), TypeError),
        (lambda: tabrix.signature_help(b"=SUM(", 5), TypeError),
        (lambda: tabrix.signature_help("=SUM("), TypeError),
        (lambda: tabrix.formula_tokens(None), TypeError),
        (lambda: tabrix.list_functions(1), TypeError),
        (lambda: tabrix.Sheet().complete("=S", cursor=1, extra=2), TypeError),
    ],
)
def test_argument_errors(call, error):
    with pytest.raises(error):
        call()


def test_cursor_error_names_the_argument():
    with pytest.raises(TypeError, match="argument 'cursor'"):
        tabrix.Sheet().complete("=S", 1.5)


def test_deeply_nested_and_long_formulas():
    depth = 200_000
    nested = "=" + "SUM(" * depth
    help_ = tabrix.signature_help(nested, len(nested))
    assert help_["function"]["name"] == "SUM" and help_["active_param"] == 0
    assert tabrix.signature_help(nested + "1)" * depth, 10**9) is None
    spans = tabrix.formula_tokens(nested)
    assert len(spans) == 2 * depth and spans[-1] == {"start": len(nested) - 1, "end": len(nested), "kind": "paren"}
    long_sum = "=" + "+".join(["A1"] * 100_000) + "+S"
    result = tabrix.Sheet().complete(long_sum, len(long_sum))
    assert [i["label"] for i in result["items"]] == ["SEQUENCE", "SORT", "SUM"]


def test_reference_counts_balance_on_success_and_error_paths():
    import sys

    formula, bad_formula, cursor = "=SUM(1, " + "x" * 10, "=\ud800SUM(", 10**6
    sheet = tabrix.Sheet()
    before = [sys.getrefcount(o) for o in (formula, bad_formula, cursor, sheet)]
    for _ in range(100):
        sheet.complete(formula, cursor)
        sheet.signature_help(bad_formula, cursor)
        tabrix.formula_tokens(bad_formula)
        for call in (lambda: sheet.complete(formula, -cursor), lambda: tabrix.signature_help(bad_formula, None)):
            with pytest.raises((OverflowError, TypeError)):
                call()
    assert [sys.getrefcount(o) for o in (formula, bad_formula, cursor, sheet)] == before


def test_sheet_methods_refuse_a_sheet_that_is_recalculating():
    sheet = tabrix.Sheet()

    def probe(*args):
        for call in (sheet.list_functions, lambda: sheet.complete("=S", 2), lambda: sheet.signature_help("=S(", 3)):
            try:
                call()
            except RuntimeError as e:
                assert str(e) == "Already mutably borrowed"
            else:
                return "not refused"
        return "refused"

    sheet.register_function("PROBE", probe)
    sheet.set_cells([("A1", "=PROBE()")])
    assert sheet.get("A1") == "refused"
    assert len(sheet.list_functions()) == 18  # usable again afterwards
