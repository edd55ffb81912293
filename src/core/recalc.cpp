// Recalculation: every change re-parses every formula, expands its names, builds the
// dependency graph from scratch, orders the cells topologically (first in, first out; ties
// in input order) and evaluates them. References to spilled cells are routed to the formula
// that produced the spill, so the graph of one pass depends on the spills of the pass before:
// passes repeat until the spill regions stop changing, at most four times.
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include "core/a1.h"
#include "core/dag.h"
#include "core/evaluator.h"
#include "core/names.h"
#include "core/parser.h"
#include "core/sheet.h"

namespace tabrix {

namespace {

constexpr int kMaxPasses = 4;

// Regions compare by anchor, row count and column count, whatever their order.
bool same_regions(const std::vector<SpillRegion>& before, const OrderedMap<SpillRegion>& now) {
  if (before.size() != now.size()) return false;
  for (const SpillRegion& r : before) {
    const SpillRegion* other = now.find(r.anchor);
    if (!other || !(*other == r)) return false;
  }
  return true;
}

std::vector<SpillRegion> snapshot(const OrderedMap<SpillRegion>& regions) {
  std::vector<SpillRegion> out;
  out.reserve(regions.size());
  for (const auto& [anchor, region] : regions) out.push_back(region);
  return out;
}

bool is_formula_text(std::string_view text) {
  return !text.empty() && text[0] == '=';
}

// A parsed and name-expanded formula, or the error text that replaces it.
using FormulaEntry = std::variant<AstNode, std::string>;

template <class V>
using IdMap = std::unordered_map<std::string, V, StringHash, std::equal_to<>>;

}  // namespace

// One recalculation pass over a sheet; see Sheet::recalculate.
//
// Every cell that takes part (an input or a pin anchor) gets a dense index, its candidate
// index, in candidate order: inputs in their order, then pins without an input. The graph is
// kept over those indices; a reference to anything else is no dependency of the order.
class RecalcPass {
 public:
  explicit RecalcPass(Sheet& sheet) : s_(sheet) {}

  // Runs the pass; the sorted cycle list when the topological sort leaves cells out.
  std::optional<std::vector<std::string>> run() {
    compute_bounds();
    reset_spills();
    build_candidates();
    build_formula_table();
    build_dependencies();
    if (auto cycle = sort()) return cycle;
    evaluate_literals();
    evaluate_formulas();
    return std::nullopt;
  }

 private:
  struct Candidate {
    const std::string* id;
    const std::string* input = nullptr;  // null for a pin anchor without input
    const CellValue* typed = nullptr;
    const ArrayValue* pin = nullptr;
    std::optional<FormulaEntry> formula;
    std::vector<uint32_t> dependencies;  // candidates read, duplicates kept
    std::vector<uint32_t> dependents;    // candidates that read this one
    size_t in_degree = 0;
  };

  // Step 1: the largest row and column in use; whole-column and whole-row ranges reach them.
  void compute_bounds() {
    for (const auto& [id, text] : s_.inputs_) {
      size_t digit = 0;
      while (digit < id.size() && !(id[digit] >= '0' && id[digit] <= '9')) ++digit;
      if (digit == id.size()) continue;
      max_col_ = std::max(max_col_, dag::column_number(std::string_view(id).substr(0, digit)));
      if (auto row = dag::row_number(std::string_view(id).substr(digit)))
        max_row_ = std::max(max_row_, *row);
    }
    for (const auto& [anchor, array] : s_.pins_) {
      auto at = dag::parse_cell_id(anchor);
      if (!at) continue;
      auto extend = [](uint32_t start, uint32_t n) {
        uint64_t far = uint64_t(start) + std::max<uint32_t>(n, 1) - 1;
        return uint32_t(std::min<uint64_t>(far, UINT32_MAX));
      };
      max_row_ = std::max(max_row_, extend(at->row, array.rows));
      max_col_ = std::max(max_col_, extend(at->col, array.cols));
    }
  }

  // Steps 2 and 3: cells spilled into without an input of their own lose their values; the
  // spill state starts empty and the previous owners route references of this pass.
  void reset_spills() {
    for (const auto& [id, anchor] : s_.spill_.owners)
      if (!s_.inputs_.contains(id)) s_.values_.erase(id);
    s_.spill_.regions.clear();
    s_.spill_.arrays.clear();
    previous_owners_ = std::move(s_.spill_.owners);
    s_.spill_.owners.clear();
  }

  // Step 6, done first so that the later steps can address cells by index.
  void build_candidates() {
    cells_.reserve(s_.inputs_.size() + s_.pins_.size());
    index_.reserve(cells_.capacity());
    auto add = [&](const std::string& id, const std::string* input) {
      index_.emplace(id, uint32_t(cells_.size()));
      Candidate& c = cells_.emplace_back();
      c.id = &id;
      c.input = input;
    };
    for (const auto& [id, text] : s_.inputs_) add(id, &text);
    for (const auto& [id, array] : s_.pins_)
      if (!s_.inputs_.contains(id)) add(id, nullptr);
    if (!s_.typed_.empty())
      for (const auto& [id, value] : s_.typed_)
        if (auto it = index_.find(id); it != index_.end()) cells_[it->second].typed = &value;
    for (const auto& [id, array] : s_.pins_) cells_[index_.find(id)->second].pin = &array;
  }

  // Step 4: parse every formula and expand its names.
  void build_formula_table() {
    for (Candidate& c : cells_) {
      if (c.typed || !c.input || !is_formula_text(*c.input)) continue;
      auto parsed = Parser::parse(*c.input);
      // Expanded also when no name is defined: a name left in the tree must make the formula
      // "#NAME?" without dependencies, not be read for references and evaluated.
      if (!parsed) {
        c.formula.emplace(std::move(parsed.error()));
      } else if (auto resolved = names::resolve_names(std::move(*parsed), s_.names_)) {
        c.formula.emplace(std::move(*resolved));
      } else {
        c.formula.emplace(std::move(resolved.error()));
      }
    }
  }

  // Steps 5 and 7: the cells each formula reads, routed to the anchors of the previous
  // spills; only inputs and pins count towards the in-degree.
  void build_dependencies() {
    std::vector<std::string> refs;
    for (uint32_t i = 0; i < cells_.size(); ++i) {
      Candidate& c = cells_[i];
      if (c.pin || !c.formula) continue;
      const auto* tree = std::get_if<AstNode>(&*c.formula);
      if (!tree) continue;
      refs.clear();
      dag::collect_refs_inner(*tree, refs, max_row_, max_col_);
      for (const std::string& r : refs) {
        const std::string* anchor = previous_owners_.find(r);
        auto it = index_.find(anchor ? *anchor : r);
        if (it == index_.end()) continue;
        c.dependencies.push_back(it->second);
        cells_[it->second].dependents.push_back(i);
      }
      c.in_degree = c.dependencies.size();
    }
  }

  // Steps 8 to 10: first-in first-out topological order; the cells left out form the
  // cycle list, sorted as text.
  std::optional<std::vector<std::string>> sort() {
    std::deque<uint32_t> queue;
    for (uint32_t i = 0; i < cells_.size(); ++i)
      if (cells_[i].in_degree == 0) queue.push_back(i);
    while (!queue.empty()) {
      uint32_t c = queue.front();
      queue.pop_front();
      order_.push_back(c);
      for (uint32_t d : cells_[c].dependents) {
        size_t& degree = cells_[d].in_degree;
        size_t old = degree;
        degree = old > 0 ? old - 1 : 0;
        if (old <= 1) queue.push_back(d);
      }
    }
    if (order_.size() >= cells_.size()) return std::nullopt;
    std::vector<bool> ordered(cells_.size());
    for (uint32_t c : order_) ordered[c] = true;
    std::vector<std::string> left_out;
    for (uint32_t i = 0; i < cells_.size(); ++i)
      if (!ordered[i]) left_out.push_back(*cells_[i].id);
    std::stable_sort(left_out.begin(), left_out.end());
    return left_out;
  }

  Evaluator make_evaluator() {
    Sheet* sheet = &s_;
    return Evaluator(
        [sheet](CellCoord cell) {
          const CellValue* v = sheet->values_.find(range::format_cell_id(cell.row, cell.col));
          return v ? *v : CellValue();
        },
        s_.registry_, max_row_, max_col_);
  }

  // Step 11: typed values and literals.
  void evaluate_literals() {
    Evaluator evaluator = make_evaluator();
    for (uint32_t i : order_) {
      const Candidate& c = cells_[i];
      if (c.pin) continue;
      if (c.typed) {
        s_.values_.set(*c.id, *c.typed);
      } else if (c.input && !is_formula_text(*c.input)) {
        auto value = evaluator.evaluate(*c.input);
        s_.values_.set(*c.id,
                       value ? std::move(*value) : CellValue::error(std::move(value.error())));
      }
    }
  }

  // Step 12: formulas and pins in order; array results are placed (and may spill).
  void evaluate_formulas() {
    Evaluator evaluator = make_evaluator();
    Sheet* sheet = &s_;
    evaluator.with_spill_resolver([sheet](CellCoord anchor) -> std::optional<ArrayValue> {
      const ArrayValue* a =
          sheet->spill_.arrays.find(range::format_cell_id(anchor.row, anchor.col));
      if (!a) return std::nullopt;
      return *a;
    });
    for (uint32_t i : order_) {
      Candidate& c = cells_[i];
      if (c.pin) {
        s_.place_result(*c.id, *c.pin);
      } else if (!c.formula) {
        continue;
      } else if (const auto* tree = std::get_if<AstNode>(&*c.formula)) {
        auto result = evaluator.eval_node(*tree);
        if (result) {
          s_.place_result(*c.id, std::move(*result));
        } else {
          s_.values_.set(*c.id, CellValue::error(std::move(result.error())));
        }
      } else {
        s_.values_.set(
            *c.id, CellValue::error(FormulaError::from_text(std::get<std::string>(*c.formula))));
      }
    }
  }

  Sheet& s_;
  uint32_t max_row_ = 1, max_col_ = 1;
  OrderedMap<std::string> previous_owners_;
  std::vector<Candidate> cells_;  // ids point into inputs and pins, which the pass never changes
  IdMap<uint32_t> index_;
  std::vector<uint32_t> order_;
};

SheetStatus Sheet::recalculate() {
  for (int pass = 1;; ++pass) {
    std::vector<SpillRegion> before = snapshot(spill_.regions);
    if (auto cycle = RecalcPass(*this).run()) return SheetError::cycle(std::move(*cycle));
    if (same_regions(before, spill_.regions) || pass == kMaxPasses) return std::nullopt;
  }
}

}  // namespace tabrix
