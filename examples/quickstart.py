"""A short tour of tabrix: a small sheet computed by the engine, printed step by step."""
import tabrix

sheet = tabrix.Sheet()
sheet.set_name("TAX_RATE", "0.25")
sheet.set_cells([
    ("A1", "Item"), ("B1", "Price"), ("C1", "With tax"),
    ("A2", "Tea"), ("B2", "4.5"), ("C2", "=B2*(1+TAX_RATE)"),
    ("A3", "Cake"), ("B3", "3"), ("C3", "=B3*(1+TAX_RATE)"),
    ("A4", "Total"), ("B4", "=SUM(B2:B3)"), ("C4", "=SUM(C2:C3)"),
    ("E1", "=SEQUENCE(3, 2)"),
    ("E5", "=SUM(E1#)"),
])

print("Sheet values:")
for row in range(1, 6):
    cells = [tabrix.cell_id(row - 1, col) for col in range(6)]
    print("  " + " | ".join(f"{sheet.get(c) or '':>8}" for c in cells))
print("E1 spills", sheet.spill_at("E1"), "->", sheet.get_array_typed("E1"))

try:
    sheet.set_cells([("D1", "=D2"), ("D2", "=D1")])
except ValueError as e:
    print("A cycle is reported:", e)
sheet.set_cells([("D1", ""), ("D2", "")])  # the inputs stay stored until removed

sheet.register_url()
sheet.set_cells([("G1", '=URL_HOST("https://example.com:8080/a/b?q=1")')])
print("URL_HOST:", sheet.get("G1"))

print("evaluate('=1/3'):", tabrix.evaluate("=1/3"))
print("extract_refs('=SUM(A1:B2)'):", tabrix.extract_refs("=SUM(A1:B2)"))
print("a row inserted above row 1:",
      tabrix.adjust_refs_for_insertion("=SUM(A1:B2)", inserted_rows=[0]))
