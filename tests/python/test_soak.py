"""Soak check: a million mixed calls on one Sheet with resident memory that stops growing.

The calls cycle through a fixed, seeded program of writes (raw and typed, spilling formulas,
cycles, bad payloads), names, pins, reads, registered Python functions that return values or
raise, and the module's formula functions, so that every path that builds or drops Python
objects and engine values runs hundreds of thousands of times. Resident memory is measured
after the first half and at the end: a leak of a few bytes per call shows as megabytes of
growth, while the steady state of the allocators stays flat. The check is about growth, not
time.

Skipped under AddressSanitizer, whose quarantine and shadow memory make resident memory say
nothing about the engine (leaks are that build's own job there).
"""
import gc
import os
import random

import pytest

import tabrix
from tabrix import Sheet

CALLS = 1_000_000
# Growth allowed between the half-way point and the end. A leak of 8 bytes per call over the
# second half alone would be 4 MB.
MAX_GROWTH = 2 * 1024 * 1024

pytestmark = pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                                reason="resident memory is meaningless under ASan")


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def scaled(args):
    if args and args[0] == "boom":
        raise ValueError("boom")
    return [a for a in args if not isinstance(a, str)][:1] or None


def program(sheet, rng):
    """A list of (callable, args) covering the sheet's surface; every call may fail only
    with ValueError."""
    cells = [f"{c}{r}" for c in "ABCD" for r in range(1, 6)]
    formulas = ["=SEQUENCE(2,2)", "=SUM(A1:B4)", "=A1#", "=SCALED(A1, 2)", '=SCALED("boom")',
                "=CONCAT(A1:D2)", "=RATE*B2", "=FILTER(A1:A5, A1:A5>1)", "=SORT(B1:C4)",
                "=C5", "=1/0", '=URL_HOST("https://example.com/x")', "=UNIQUE(A:A)"]
    literals = ["1", "x", "2.5", "TRUE", "", "t:3"]
    payloads = [{"kind": "number", "value": 4}, {"kind": "string", "value": "s"},
                {"kind": "custom", "type_tag": "t", "data": "5"}, {"kind": "empty"},
                {"kind": "number", "value": "bad"}]
    ops = []
    for _ in range(2000):
        cell = rng.choice(cells)
        roll = rng.random()
        if roll < 0.12:
            text = rng.choice(formulas + literals)
            ops.append((sheet.set_cells, ([(cell, text)],)))
        elif roll < 0.16:
            ops.append((sheet.set_cells_typed, ([(cell, rng.choice(payloads))],)))
        elif roll < 0.17:
            ops.append((sheet.set_cells, ([("C5", "=D5"), ("D5", rng.choice(["=C5", "1"]))],)))
        elif roll < 0.18:
            ops.append((sheet.set_name, (rng.choice(["rate", "a1", ""]),
                                         rng.choice(["=B1", "2", "=SUM("]))))
        elif roll < 0.19:
            ops.append((sheet.pin_value, (cell, [["p", "q"], ["r", "s"]])))
        elif roll < 0.20:
            ops.append((sheet.unpin_value, (cell,)))
        else:
            reader = rng.choice([
                (sheet.get, (cell,)), (sheet.get_typed, (cell,)), (sheet.get_all, ()),
                (sheet.get_all_typed, ()), (sheet.get_array, (cell,)),
                (sheet.get_array_typed, (cell,)), (sheet.spill_at, (cell,)),
                (sheet.owner_of, (cell,)), (sheet.names, ()), (sheet.pinned_cells, ()),
                (sheet.try_parse, ("t", "t:9", "")), (sheet.complete, ("=SU", 3)),
                (tabrix.evaluate, (rng.choice(formulas),)),
                (tabrix.extract_refs, ("=SUM(A1:B2)+rate",)),
                (tabrix.formula_tokens, ('=IF(A1>0, "y", B2#)',)),
                (tabrix.adjust_refs_for_insertion, ("=A5+SUM(B1:B9)", [1], [2])),
            ])
            ops.append(reader)
    return ops


class Tally:
    type_tag = "t"

    def parse_literal(self, raw):
        return {"data": raw[2:]} if raw.startswith("t:") else None

    def as_number(self, value):
        return float(value["data"])


def test_a_million_calls_keep_memory_flat():
    sheet = Sheet()
    sheet.register_function("SCALED", scaled)
    sheet.register_type(Tally())
    sheet.register_url()
    ops = program(sheet, random.Random(9))

    def run(start, stop):
        for i in range(start, stop):
            func, args = ops[i % len(ops)]
            try:
                func(*args)
            except ValueError:
                pass

    run(0, CALLS // 2)
    gc.collect()
    half = resident_bytes()
    run(CALLS // 2, CALLS)
    gc.collect()
    growth = resident_bytes() - half
    assert growth < MAX_GROWTH, f"resident memory grew by {growth} bytes in {CALLS // 2} calls"
