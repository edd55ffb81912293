"""Python objects as custom functions and custom value types."""
import gc
import weakref

import pytest

from tabrix import Sheet


def sheet_with_function(name, func, formula):
    s = Sheet()
    s.register_function(name, func)
    s.set_cells([("A1", formula)])
    return s


@pytest.mark.parametrize("func, formula, text", [
    (lambda args: args[0] * 2, "=DOUBLE(21)", "42"),
    (lambda args: None, "=DOUBLE(1)", None),
    (lambda args: "x", "=DOUBLE(1)", "x"),
    (lambda args: True, "=DOUBLE(1)", "TRUE"),
    (lambda args: 2.5, "=DOUBLE(1)", "2.5"),
    (lambda args: {"type_tag": "t", "data": "d"}, "=DOUBLE(1)", "d"),
    (lambda args: [1, 2], "=DOUBLE(1)", "[1, 2]"),
    (lambda args: 10 ** 400, "=DOUBLE(1)", "1" + "0" * 400),
    (lambda args: len(args), "=DOUBLE(SEQUENCE(2, 3), 1)", "7"),
    (lambda args: repr(args), '=double("a", TRUE, 1.5)', "['a', True, 1.5]"),
])
def test_function_results(func, formula, text):
    assert sheet_with_function("DOUBLE", func, formula).get("A1") == text


def raise_value(args):
    raise ValueError("bad")


class Unprintable:
    def __str__(self):
        raise RuntimeError("no str")


@pytest.mark.parametrize("func, text", [
    (raise_value, "ValueError: bad"),
    (lambda args: 1 / 0, "ZeroDivisionError: division by zero"),
    (lambda: 1, None),  # wrong arity: a TypeError text
    (42, "TypeError: 'int' object is not callable"),
    (lambda args: Unprintable(), "RuntimeError: no str"),
    (lambda args: args.append(1) or sum(args), "1"),
])
def test_function_failures_become_error_values(func, text):
    value = sheet_with_function("F", func, "=F()").get("A1")
    if text is None:
        assert value.startswith("TypeError: ")
    else:
        assert value == text


def test_registration_errors():
    s = Sheet()
    with pytest.raises(ValueError, match="^register_function: name must be non-empty$"):
        s.register_function("", len)
    with pytest.raises(ValueError, match="collides"):
        s.register_function("sum", len)
    s.register_function("mine", len)
    with pytest.raises(ValueError, match="collides"):
        s.register_function("MINE", len)


def test_registration_does_not_recalculate():
    s = Sheet()
    s.set_cells([("A1", "=LATER(1)")])
    assert s.get("A1") == "#NAME?"
    s.register_function("LATER", lambda args: 5)
    assert s.get("A1") == "#NAME?"
    s.set_cells([("B1", "1")])
    assert s.get("A1") == "5"


class Money:
    type_tag = "money"

    @staticmethod
    def parse_literal(raw):
        if raw.endswith(" EUR"):
            return {"data": raw[:-4], "type_tag": "other"}
        return None

    @staticmethod
    def display(value):
        return value["data"] + " €"

    @staticmethod
    def edit_repr(value):
        return value["data"] + " EUR"

    @staticmethod
    def as_number(value):
        return float(value["data"])

    @staticmethod
    def binary_op(op, lhs, rhs):
        if op == "+" and isinstance(lhs, dict) and isinstance(rhs, dict):
            return {"type_tag": "money", "data": str(int(lhs["data"]) + int(rhs["data"]))}
        if op == "/":
            raise ZeroDivisionError("no division of money")
        return None

    @staticmethod
    def compare(op, lhs, rhs):
        if op == "<>":
            return 1  # not a bool
        a, b = float(lhs["data"]), float(rhs["data"])
        return {"=": a == b, "<": a < b, ">": a > b, "<=": a <= b, ">=": a >= b}[op]


def test_handler_literals_display_operators():
    s = Sheet()
    s.register_type(Money())
    s.set_cells([("A1", "5 EUR"), ("A2", "7 EUR"), ("A3", "=A1+A2"), ("A4", "=A1<A2"),
                 ("A5", "=A1/A2"), ("A6", "=A1<>A2"), ("A7", "=SUM(A1:A2)"), ("A8", "5")])
    assert s.get_typed("A1") == {"type_tag": "money", "data": "5"}
    assert s.get("A1") == "5"  # get shows the data text
    assert s.get("A3") == "12"
    assert s.get("A4") == "TRUE"
    assert s.get("A5") == "ZeroDivisionError: no division of money"
    assert s.get("A6") == "TypeError: 'int' object is not an instance of 'bool'"
    assert s.get("A7") == "12"
    assert s.get_typed("A8") == 5


def test_handler_without_parse_and_bad_display():
    class Plain:
        type_tag = "plain"
        display = staticmethod(lambda value: 5)
        edit_repr = None

    s = Sheet()
    s.register_type(Plain())
    s.set_cells([("A1", "hello"), ("A2", '=CONCAT(A3, "!")')])
    s.set_cells_typed([("A3", {"kind": "custom", "type_tag": "plain", "data": "raw"})])
    assert s.get("A1") == "hello"
    assert s.get("A2") == "raw!"  # display returned a non-str: the data text
    assert s.try_parse("plain", "x", "") is None


def test_try_parse():
    class Tagged:
        type_tag = "tg"
        display = edit_repr = staticmethod(lambda v: v["data"])
        compare = staticmethod(lambda op, a, b: None)
        parse_literal = staticmethod(lambda raw: {"data": raw.upper()})

    class WithOptions(Tagged):
        type_tag = "opt"
        parse_with = staticmethod(lambda raw, options: {"data": raw + "|" + options})

    s = Sheet()
    s.register_type(Tagged())
    s.register_type(WithOptions())
    assert s.try_parse("tg", "ab", "ignored") == {"type_tag": "tg", "data": "AB"}
    assert s.try_parse("opt", "ab", "o") == {"type_tag": "opt", "data": "ab|o"}
    assert s.try_parse("none", "ab", "") is None
    with pytest.raises(ValueError, match="already registered"):
        s.register_type(Tagged())


@pytest.mark.parametrize("tag, message", [
    (None, "handler: missing `type_tag`"),
    (3, "handler: `type_tag` must be str"),
    ("", "handler: `type_tag` must be non-empty"),
])
def test_handler_registration_errors(tag, message):
    class Handler:
        pass

    h = Handler()
    if tag is not None:
        h.type_tag = tag
    with pytest.raises(ValueError) as info:
        Sheet().register_type(h)
    assert str(info.value) == message


def test_reentrant_callback_meets_borrow_flag():
    s = Sheet()
    s.register_function("PEEK", lambda args: s.get("B1"))
    s.set_cells([("B1", "1"), ("A1", "=PEEK()")])
    assert s.get("A1") == "RuntimeError: Already mutably borrowed"
    s.register_function("POKE", lambda args: s.set_cells([("C1", "2")]))
    s.set_cells([("A2", "=POKE()")])
    assert s.get("A2") == "RuntimeError: Already borrowed"


def test_functions_are_freed_with_their_sheet():
    class Func:
        def __call__(self, args):
            return 1

    f = Func()
    ref = weakref.ref(f)
    s = Sheet()
    s.register_function("F", f)
    s.set_cells([("A1", "=F()")])
    del f
    assert ref() is not None
    del s
    assert ref() is None


def test_cycle_through_callback_is_collected():
    class Func:
        def __call__(self, args):
            return 1

    f = Func()
    ref = weakref.ref(f)
    s = Sheet()
    f.sheet = s  # the function refers back to its sheet
    s.register_function("F", f)
    del f, s
    gc.collect()
    assert ref() is None


def test_many_recalculations_with_callbacks():
    s = Sheet()
    s.register_function("INC", lambda args: args[0] + 1)
    s.register_type(Money())
    for i in range(300):
        s.set_cells([("A1", str(i)), ("A2", "=INC(A1)"), ("A3", f"{i} EUR"), ("A4", "=A3+A3")])
    assert s.get("A2") == "300"


def test_result_dict_changed_during_lookup():
    # Looking up "data" compares with a key that removes "type_tag": the value keeps the tag
    # that was read, not whatever took the memory of the removed text.
    class RemovesTag:
        armed = False

        def __init__(self, d):
            self.d = d

        def __hash__(self):
            return hash("data")

        def __eq__(self, other):
            if self.armed:
                self.d.pop("type_tag", None)
                self.reuse = ["".join(["zz", "z"]) for _ in range(64)]
            return False

    def make(args):
        d = {"type_tag": "".join(["ta", "g"])}
        key = RemovesTag(d)
        d[key] = 1
        d["data"] = "dd"
        key.armed = True
        return d

    s = sheet_with_function("F", make, "=F()")
    assert s.get_typed("A1") == {"type_tag": "tag", "data": "dd"}
