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

bool is_formula_text(std::string_view text) { return !text.empty() && text[0] == '='; }

// A parsed and name-expanded formula, or the error text that replaces it.
using FormulaEntry = std::variant<AstNode, std::string>;

template <class V>
using IdMap = std::unordered_map<std::string, V, StringHash, std::equal_to<>>;

}  // namespace

// One recalculation pass over a sheet; see Sheet::recalculate.
class RecalcPass {
 public:
  explicit RecalcPass(Sheet& sheet) : s_(sheet) {}

  // Runs the pass; the sorted cycle list when the topological sort leaves cells out.
  std::optional<std::vector<std::string>> run() {
    compute_bounds();
    reset_spills();
    build_formula_table();
    build_dependencies();
    build_candidates();
    if (auto cycle = sort()) return cycle;
    evaluate_literals();
    evaluate_formulas();
    return std::nullopt;
  }

 private:
  // Step 1: the largest row and column in use; whole-column and whole-row ranges reach them.
  void compute_bounds() {
    for (const auto& [id, text] : s_.inputs_) {
      size_t digit = 0;
      while (digit < id.size() && !(id[digit] >= '0' && id[digit] <= '9')) ++digit;
      if (digit == id.size()) continue;
      max_col_ = std::max(max_col_, dag::column_number(std::string_view(id).substr(0, digit)));
      if (auto row = row_number(std::string_view(id).substr(digit))) max_row_ = std::max(max_row_, *row);
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

  static std::optional<uint32_t> row_number(std::string_view s) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    uint64_t n = 0;
    for (char c : s) {
      if (c < '0' || c > '9') return std::nullopt;
      n = n * 10 + uint64_t(c - '0');
      if (n > UINT32_MAX) return std::nullopt;
    }
    return uint32_t(n);
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

  // Step 4: parse every formula and expand its names.
  void build_formula_table() {
    for (const auto& [id, text] : s_.inputs_) {
      if (s_.typed_.contains(id) || !is_formula_text(text)) continue;
      formula_order_.push_back(&id);
      auto parsed = Parser::parse(text);
      if (!parsed) {
        formulas_.emplace(id, std::move(parsed.error()));
        continue;
      }
      if (s_.names_.empty()) {
        formulas_.emplace(id, std::move(*parsed));
        continue;
      }
      auto resolved = names::resolve_names(std::move(*parsed), s_.names_);
      if (resolved) {
        formulas_.emplace(id, std::move(*resolved));
      } else {
        formulas_.emplace(id, std::move(resolved.error()));
      }
    }
  }

  // Step 5: the cells each formula reads, routed to the anchors of the previous spills.
  void build_dependencies() {
    std::vector<std::string> refs;
    for (const std::string* id : formula_order_) {
      if (s_.pins_.contains(*id)) continue;
      const auto* tree = std::get_if<AstNode>(&formulas_.find(*id)->second);
      if (!tree) continue;
      refs.clear();
      dag::collect_refs_inner(*tree, refs, max_row_, max_col_);
      for (std::string& r : refs)
        if (const std::string* anchor = previous_owners_.find(r)) r = *anchor;
      for (const std::string& d : refs) dependents_[d].push_back(*id);
      dependencies_.emplace(*id, std::move(refs));
      refs = {};
    }
  }

  // Step 6: inputs in their order, then pins without an input.
  void build_candidates() {
    for (const auto& [id, text] : s_.inputs_) candidates_.push_back(&id);
    for (const auto& [id, array] : s_.pins_)
      if (!s_.inputs_.contains(id)) candidates_.push_back(&id);
  }

  bool is_cell(std::string_view id) const {
    return s_.inputs_.contains(id) || s_.pins_.contains(id);
  }

  // Steps 7 to 10: first-in first-out topological order; the cells left out form the
  // cycle list, sorted as text.
  std::optional<std::vector<std::string>> sort() {
    IdMap<size_t> in_degree;
    std::deque<const std::string*> queue;
    for (const std::string* c : candidates_) {
      size_t n = 0;
      if (auto it = dependencies_.find(*c); it != dependencies_.end())
        for (const std::string& d : it->second) n += is_cell(d);
      in_degree[*c] = n;
      if (n == 0) queue.push_back(c);
    }
    while (!queue.empty()) {
      const std::string* c = queue.front();
      queue.pop_front();
      order_.push_back(c);
      auto it = dependents_.find(*c);
      if (it == dependents_.end()) continue;
      for (const std::string& d : it->second) {
        size_t& degree = in_degree[d];
        size_t old = degree;
        degree = old > 0 ? old - 1 : 0;
        if (old <= 1) queue.push_back(&dependencies_.find(d)->first);
      }
    }
    if (order_.size() >= candidates_.size()) return std::nullopt;
    std::unordered_set<std::string_view> ordered;
    for (const std::string* c : order_) ordered.insert(*c);
    std::vector<std::string> left_out;
    for (const std::string* c : candidates_)
      if (!ordered.contains(*c)) left_out.push_back(*c);
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
    for (const std::string* c : order_) {
      if (s_.pins_.contains(*c)) continue;
      if (const CellValue* typed = s_.typed_.find(*c)) {
        s_.values_.set(*c, *typed);
        continue;
      }
      const std::string* text = s_.inputs_.find(*c);
      if (!text || is_formula_text(*text)) continue;
      auto value = evaluator.evaluate(*text);
      s_.values_.set(*c, value ? std::move(*value) : CellValue::error(std::move(value.error())));
    }
  }

  // Step 12: formulas and pins in order; array results are placed (and may spill).
  void evaluate_formulas() {
    Evaluator evaluator = make_evaluator();
    Sheet* sheet = &s_;
    evaluator.with_spill_resolver([sheet](CellCoord anchor) -> std::optional<ArrayValue> {
      const ArrayValue* a = sheet->spill_.arrays.find(range::format_cell_id(anchor.row, anchor.col));
      if (!a) return std::nullopt;
      return *a;
    });
    for (const std::string* c : order_) {
      if (const ArrayValue* pin = s_.pins_.find(*c)) {
        s_.place_result(*c, *pin);
        continue;
      }
      auto it = formulas_.find(*c);
      if (it == formulas_.end()) continue;
      if (const auto* tree = std::get_if<AstNode>(&it->second)) {
        auto result = evaluator.eval_node(*tree);
        if (result) {
          s_.place_result(*c, std::move(*result));
        } else {
          s_.values_.set(*c, CellValue::error(std::move(result.error())));
        }
      } else {
        s_.values_.set(*c, CellValue::error(FormulaError::from_text(std::get<std::string>(it->second))));
      }
    }
  }

  Sheet& s_;
  uint32_t max_row_ = 1, max_col_ = 1;
  OrderedMap<std::string> previous_owners_;
  IdMap<FormulaEntry> formulas_;
  std::vector<const std::string*> formula_order_;  // keys of inputs, stable during the pass
  IdMap<std::vector<std::string>> dependencies_;
  IdMap<std::vector<std::string>> dependents_;
  std::vector<const std::string*> candidates_;
  std::vector<const std::string*> order_;
};

SheetStatus Sheet::recalculate() {
  for (int pass = 1;; ++pass) {
    std::vector<SpillRegion> before = snapshot(spill_.regions);
    if (auto cycle = RecalcPass(*this).run()) return SheetError::cycle(std::move(*cycle));
    if (same_regions(before, spill_.regions) || pass == kMaxPasses) return std::nullopt;
  }
}

}  // namespace tabrix
