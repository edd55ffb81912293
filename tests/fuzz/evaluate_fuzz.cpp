// Fuzz target: evaluation of any cell input, formula or literal, against a fixed grid of
// values of every kind, with a custom type and the URL functions registered so that the
// custom-value paths of the operators and the pack's functions are reached too.
//
// Invariants checked for every input:
// - Evaluation is deterministic: the same input gives the same value or failure twice.
// - `evaluate` of a formula equals parsing it and taking the first element of `eval_node`;
//   `evaluate` of a literal equals `classify_literal`.
// - No array result exceeds 100000 cells.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/evaluator.h"
#include "core/parser.h"
#include "core/registry.h"
#include "core/value.h"
#include "fuzz_support.h"
#include "url/functions.h"

namespace tabrix {
namespace {

// A type "t" whose literals are written "t:<number>"; it adds and compares by its number
// and declines everything else.
class TallyHandler final : public CustomTypeHandler {
 public:
  std::string type_tag() const override { return "t"; }
  std::optional<CustomValue> parse_literal(std::string_view text) const override {
    if (text.substr(0, 2) != "t:" || !parse_number(text.substr(2))) return std::nullopt;
    return CustomValue{"t", std::string(text.substr(2))};
  }
  std::string display(const CellValue& v) const override { return "t:" + v.as_custom().data; }
  std::string edit_repr(const CellValue& v) const override { return v.as_custom().data; }
  BinaryOpAnswer binary_op(BinaryOperator op, const CellValue& l,
                           const CellValue& r) const override {
    auto a = number_of(l), b = number_of(r);
    if (!a || !b) return std::nullopt;
    if (op == BinaryOperator::Div && *b == 0)
      return Result<CellValue, std::string>(fail("#DIV/0!"));
    if (op != BinaryOperator::Add) return std::nullopt;
    return Result<CellValue, std::string>(CellValue::custom("t", number_text(*a + *b)));
  }
  CompareAnswer compare(ComparisonOperator op, const CellValue& l,
                        const CellValue& r) const override {
    auto a = number_of(l), b = number_of(r);
    if (!a || !b) return Result<bool, std::string>(fail("#VALUE! t: not comparable"));
    if (op == ComparisonOperator::Lt) return Result<bool, std::string>(*a < *b);
    return std::nullopt;
  }
  std::optional<double> as_number(const CellValue& v) const override {
    return parse_number(v.as_custom().data);
  }

 private:
  static std::optional<double> number_of(const CellValue& v) {
    if (v.is_custom() && v.as_custom().type_tag == "t") return parse_number(v.as_custom().data);
    return v.as_number();
  }
};

const std::shared_ptr<const Registry>& shared_registry() {
  static const std::shared_ptr<const Registry> registry = [] {
    auto r = std::make_shared<Registry>();
    (void)r->register_type(std::make_shared<TallyHandler>());
    (void)url::register_url_functions(*r);
    return r;
  }();
  return registry;
}

// Every kind of value, chosen by position so that ranges mix them.
CellValue grid_value(CellCoord cell) {
  switch ((cell.row * 7 + cell.col * 3) % 11) {
    case 0:
      return CellValue::number(cell.row + 0.5);
    case 1:
      return CellValue::string("x");
    case 2:
      return CellValue::string("2");
    case 3:
      return CellValue::boolean(cell.col % 2 == 0);
    case 4:
      return CellValue::error(FormulaError::div_zero());
    case 5:
      return CellValue::custom("t", "3");
    case 6:
      return CellValue::string("https://h.example/a/b?q=1#f");
    case 7:
      return CellValue::number(-0.0);
    case 8:
      return CellValue::custom("other", "9");
    default:
      return CellValue::empty();
  }
}

// Anchors in even rows spill a 2 x 3 block.
std::optional<ArrayValue> grid_spill(CellCoord anchor) {
  if (anchor.row % 2 != 0) return std::nullopt;
  std::vector<CellValue> data;
  for (uint32_t i = 0; i < 6; ++i)
    data.push_back(grid_value({anchor.row + i / 3, anchor.col + i % 3}));
  return ArrayValue(2, 3, std::move(data));
}

Evaluator make_evaluator() {
  Evaluator e(grid_value, shared_registry(), 1000, 26);
  e.with_spill_resolver(grid_spill);
  return e;
}

// Equality that treats NaN as equal to itself: the kinds and the text forms agree.
bool same(const CellValue& a, const CellValue& b) {
  return a.kind() == b.kind() && a.display() == b.display();
}

bool same(const Result<CellValue, FormulaError>& a, const Result<CellValue, FormulaError>& b) {
  if (a.ok() != b.ok()) return false;
  return a.ok() ? same(*a, *b) : a.error() == b.error();
}

}  // namespace
}  // namespace tabrix

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tabrix;
  std::string_view text = fuzz::as_view(data, size);
  auto first = make_evaluator().evaluate(text);
  auto second = make_evaluator().evaluate(text);
  FUZZ_CHECK(same(first, second), text);

  if (text.empty() || text[0] != '=') {
    FUZZ_CHECK(first.ok() && same(*first, classify_literal(text, *shared_registry())), text);
    return 0;
  }
  auto tree = Parser::parse(text);
  if (!tree.ok()) {
    FUZZ_CHECK(!first.ok() && first.error() == FormulaError::from_text(tree.error()), text);
    return 0;
  }
  Evaluator evaluator = make_evaluator();
  auto array = evaluator.eval_node(*tree);
  if (!array.ok()) {
    FUZZ_CHECK(!first.ok() && first.error() == array.error(), text);
    return 0;
  }
  FUZZ_CHECK(array->size() <= 100000 && array->data.size() == array->size(), text);
  FUZZ_CHECK(first.ok() && same(*first, array->first()), text);
  return 0;
}
