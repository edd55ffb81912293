"""Hostile input from Python: every module function and Sheet method called with random
arguments drawn from a pool of awkward objects (wrong types, out-of-range ints, lone
surrogates, deep nesting, objects whose __index__ / __float__ / __str__ / __len__ raise,
re-entrant callbacks, handlers that misbehave).

For every call the only acceptable outcomes are a result or an ordinary exception: never a
crash, never the module's fatal PanicException, never a SystemError (a C-API call that
failed without setting an exception, or succeeded with one set). After the run, with the
sheets dropped, no pool object has gained or lost a reference: error paths release what they
took. The seed is fixed; the failure message names the call.
"""
import gc
import inspect
import random
import sys

import pytest

import tabrix
from tabrix import Sheet


class Boom(Exception):
    pass


class BadIndex:
    def __index__(self):
        raise Boom("index")


class BadFloat:
    def __float__(self):
        raise Boom("float")


class BadStr:
    def __str__(self):
        raise Boom("str")


class BadSequence:
    def __len__(self):
        raise Boom("len")

    def __getitem__(self, i):
        raise Boom("getitem")


class LyingSequence:
    """Claims three items but has one."""

    def __len__(self):
        return 3

    def __getitem__(self, i):
        if i == 0:
            return ("A1", "1")
        raise IndexError(i)


class StrSub(str):
    pass


class IntSub(int):
    pass


def make_pool():
    """Objects passed as arguments; built once so that their reference counts can be
    compared after the run."""
    return [
        None, True, 0, -1, 7, 2**31, 2**32, 2**64, -(2**63), 10**400, 1.5, float("nan"),
        float("inf"), IntSub(3), BadIndex(), BadFloat(), BadStr(), object(),
        "", "A1", "b12", "A:C", "=A1+1", "=SUM(A1:B3)", "=SEQUENCE(3,3)", "=A1#", "\ud800",
        "=\ud800&A1", "=" + "(" * 1100 + "1" + ")" * 1100, "=" + "-" * 2000 + "1",
        "=" + "+".join(["1"] * 3000), "x" * 5000, "\x00=1", StrSub("=1+1"), "=1/0", "=A1:A100001",
        b"A1", bytearray(b"=1"),
        [], (), [()], [("A1",)], [("A1", "1")], [("A1", "1", "x")], [("A1", None)],
        [["A1", "=B1"]], [("B1", "=A1"), ("A1", "=B1")], "AB", [1, 2], [-1], [2**32], [[]],
        [["x", "y"], ["z"]], [["a"]], [[1]], [[BadStr()]], BadSequence(), LyingSequence(),
        iter([("A1", "1")]), [("A1", StrSub("2"))], [(StrSub("A2"), "3")],
        [("A1", {"kind": "number", "value": BadFloat()})], [("A1", {"kind": BadStr()})],
        [("A1", {"kind": "custom", "type_tag": "t", "data": "\ud800"})],
        [("A1", {"kind": "raw", "value": "=SEQUENCE(2,2)"})], [("A1", 5)],
        {}, {"kind": "raw"}, {"type_tag": "t", "data": "d"},
    ]


# What each parameter usually gets: the pool items of a plausible type; a fifth of the time
# any pool item is passed instead.
def plausible(pool, name):
    def of(*types):
        return [o for o in pool if isinstance(o, types)] or pool
    if name in ("changes", "rows", "deleted_cols", "deleted_rows", "inserted_cols",
                "inserted_rows"):
        return of(list, tuple, BadSequence, LyingSequence)
    if name in ("cursor", "index", "row", "col", "src_start", "src_end", "final_start", "d_row",
                "d_col", "max_row", "max_col"):
        return of(int, BadIndex)
    return of(str)


def make_handlers(sheet):
    """Handler and function objects for register_type / register_function, some of which
    misbehave or call back into the sheet during its recalculation."""

    class Handler:
        type_tag = "t"

        def parse_literal(self, raw):
            return {"data": raw} if raw.startswith("t") else {"data": 5}

        display = staticmethod(lambda v: v["data"] * 2)
        edit_repr = None
        binary_op = staticmethod(lambda op, a, b: BadFloat())
        compare = staticmethod(lambda op, a, b: 1)

        def as_number(self, v):
            raise Boom("as_number")

    class Reentrant:
        type_tag = "r"

        def parse_literal(self, raw):
            sheet.set_cells([("Z1", "1")])  # RuntimeError inside: the sheet is borrowed

    class BadTag:
        @property
        def type_tag(self):
            raise Boom("tag")

    funcs = [
        lambda args: sheet.get("A1"),
        lambda args: sheet.set_cells([]),
        lambda args: BadFloat(),
        lambda args: BadStr(),
        lambda args: 10**400,
        lambda args: {"type_tag": BadStr(), "data": "d"},
        lambda args: (_ for _ in ()).throw(Boom("gen")),
        lambda args: args,
        None,
        42,
    ]
    return [Handler(), Reentrant(), BadTag(), object(), 3], funcs


def callables(sheet):
    out = [getattr(tabrix, name) for name in tabrix.__all__ if name != "Sheet"]
    out += [getattr(sheet, name) for name in dir(Sheet) if not name.startswith("_")]
    return out


def arity(func):
    params = inspect.signature(func).parameters.values()
    return sum(p.default is inspect.Parameter.empty for p in params), len(params)


def call_once(rng, sheet, pool, handlers, funcs):
    func = rng.choice(callables(sheet))
    low, high = arity(func)
    n = rng.randint(max(low - 1, 0), high + 1)  # now and then one too few or too many
    if func.__name__ == "register_type":
        args = [rng.choice(handlers + pool)][:n]
    elif func.__name__ == "register_function":
        args = [rng.choice(["F" + str(rng.randrange(5)), "SUM", "", BadStr()]),
                rng.choice(funcs + pool)][:n]
    else:
        names = [p.name for p in inspect.signature(func).parameters.values()]
        args = [rng.choice(pool if i >= len(names) or rng.random() < 0.2
                           else plausible(pool, names[i])) for i in range(n)]
    try:
        func(*args)
    except SystemError as e:
        raise AssertionError(f"SystemError from {func.__name__}{tuple(args)!r}") from e
    except Exception:
        pass
    except BaseException as e:
        raise AssertionError(f"{type(e).__name__} from {func.__name__}{tuple(args)!r}") from e
    return func, args


def tracked(pool):
    """The pool objects whose reference counts only this test changes."""
    shared = (type(None), bool)
    return [o for o in pool if not isinstance(o, shared)
            and not (type(o) is int and -5 <= o <= 256) and o not in ("", ())]


@pytest.mark.parametrize("seed", range(6))
def test_hostile_calls_raise_ordinary_exceptions(seed):
    rng = random.Random(seed)
    pool = make_pool()
    watched = tracked(pool)
    before = [sys.getrefcount(o) for o in watched]
    for _ in range(5):
        sheet = Sheet()
        handlers, funcs = make_handlers(sheet)
        for _ in range(600):
            call_once(rng, sheet, pool, handlers, funcs)
        sheet.get_all()  # still usable
        del sheet, handlers, funcs
    gc.collect()
    after = [sys.getrefcount(o) for o in watched]
    changed = [(repr(o)[:60], b, a) for o, b, a in zip(watched, before, after) if a != b]
    assert not changed, changed
