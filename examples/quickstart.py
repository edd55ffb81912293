"""A short tour of tabrix: what the module computes, printed step by step."""
import tabrix

print("tabrix exports:", ", ".join(tabrix.__all__))
for row, col in [(0, 0), (11, 1), (0, 26)]:
    print(f"cell_id({row}, {col}) = {tabrix.cell_id(row, col)}")
for text in ["b5:a1", "A:C", " $A$1 : $C$3 "]:
    print(f"parse_range({text!r}) = {tabrix.parse_range(text)}")
try:
    tabrix.parse_range("A0:B1")
except ValueError as e:
    print(f"parse_range('A0:B1') raised ValueError: {e}")
