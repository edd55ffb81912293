"""Sheet recalculation workloads. Run: python3 bench/bench_sheet.py [--quick]

Prints the best wall time of a few repetitions per workload. Recalculation is full by design,
so every set_cells re-evaluates the whole sheet.
"""
import sys
import time

import tabrix


def best_of(fn, repeat):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def chain(n):
    cells = [("A1", "1")] + [(f"A{i}", f"=A{i - 1}+1") for i in range(2, n + 1)]

    def run():
        s = tabrix.Sheet()
        s.set_cells(cells)
        assert s.get(f"A{n}") == str(n)
    return run


def sums(count, size):
    cells = [(f"A{i}", str(i)) for i in range(1, size + 1)]
    cells += [(f"B{i}", f"=SUM(A1:A{size})") for i in range(1, count + 1)]

    def run():
        s = tabrix.Sheet()
        s.set_cells(cells)
    return run


def spill_readers(readers):
    cells = [("A1", "=SEQUENCE(1000, 100)")]
    cells += [(f"DA{i}", "=SUM(A1#)") for i in range(1, readers + 1)]

    def run():
        s = tabrix.Sheet()
        s.set_cells(cells)
    return run


def single_edit(formulas):
    s = tabrix.Sheet()
    s.set_cells([("A1", "1")] + [(f"B{i}", f"=A1+{i}") for i in range(1, formulas + 1)])
    counter = [0]

    def run():
        counter[0] += 1
        s.set_cells([("A1", str(counter[0]))])
    return run


def main():
    quick = "--quick" in sys.argv
    scale = 10 if quick else 1
    workloads = [
        (f"chain of {100000 // scale} cells", chain(100000 // scale), 3),
        (f"{1000 // scale} SUMs over 1000-cell ranges", sums(1000 // scale, 1000), 3),
        (f"SEQUENCE(1000, 100) read by {1000 // scale} formulas", spill_readers(1000 // scale), 1),
        (f"one edit in a {10000 // scale}-formula sheet", single_edit(10000 // scale), 5),
    ]
    for name, fn, repeat in workloads:
        print(f"{name:45s} {best_of(fn, repeat) * 1000:10.1f} ms")


if __name__ == "__main__":
    main()
