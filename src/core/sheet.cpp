// Sheet storage: inputs, typed values, reads, registration, spill placement and pins.
// Recalculation is in recalc.cpp, named ranges in names.cpp.
#include "core/sheet.h"

#include <algorithm>

#include "core/dag.h"

namespace tabrix {

Sheet::Sheet() : Sheet(std::make_shared<Registry>()) {}

Sheet::Sheet(std::shared_ptr<Registry> registry) : registry_(std::move(registry)) {}

void Sheet::apply_raw(const std::string& id, const std::string& raw) {
  if (!typed_.empty()) typed_.erase(id);
  if (!raw.empty()) {
    inputs_.set(id, raw);
  } else {
    inputs_.erase(id);
    values_.erase(id);
  }
}

SheetStatus Sheet::set_cells(const std::vector<std::pair<std::string, std::string>>& changes) {
  for (const auto& [id, raw] : changes) apply_raw(id, raw);
  return recalculate();
}

SheetStatus Sheet::set_cells_typed(std::vector<std::pair<std::string, CellInput>> changes) {
  for (auto& [id, input] : changes) {
    if (auto* raw = std::get_if<std::string>(&input)) {
      apply_raw(id, *raw);
      continue;
    }
    CellValue& v = std::get<CellValue>(input);
    std::string text = registry_->render(v);
    typed_.set(id, std::move(v));
    inputs_.set(id, std::move(text));
  }
  return recalculate();
}

CellValue Sheet::get(std::string_view cell_id) const {
  const CellValue* v = values_.find(cell_id);
  return v ? *v : CellValue();
}

std::optional<CustomValue> Sheet::try_parse(std::string_view type_tag, std::string_view raw,
                                            std::string_view options) const {
  const CustomTypeHandler* handler = registry_->find_type(type_tag);
  if (!handler) return std::nullopt;
  return handler->parse_with(raw, options);
}

Registry& Sheet::mutable_registry() {
  // Copy on write: evaluators of an earlier recalculation may still share the registry.
  if (registry_.use_count() > 1) registry_ = std::make_shared<Registry>(*registry_);
  return *registry_;
}

RegistryStatus Sheet::register_type(std::shared_ptr<const CustomTypeHandler> handler) {
  return mutable_registry().register_type(std::move(handler));
}

RegistryStatus Sheet::register_function(std::shared_ptr<const CustomFunction> function) {
  return mutable_registry().register_function(std::move(function));
}

const SpillRegion* Sheet::spill_at(std::string_view cell_id) const {
  return spill_.regions.find(cell_id);
}

const std::string* Sheet::owner_of(std::string_view cell_id) const {
  return spill_.owners.find(cell_id);
}

const ArrayValue* Sheet::spill_array(std::string_view cell_id) const {
  return spill_.arrays.find(cell_id);
}

// Places one result at its anchor: a single value in place, a larger array into the cells
// right of and below the anchor unless one of them is blocked.
void Sheet::place_result(const std::string& anchor, ArrayValue array) {
  // An anchor inside a region placed earlier in this pass (only a pin without input can be
  // there) stays that region's cell: placing over it would give the cell two owners.
  if (const std::string* owner = spill_.owners.find(anchor); owner && *owner != anchor) return;
  if (array.rows == 1 && array.cols == 1) {
    values_.set(anchor, std::move(array.data[0]));
    return;
  }
  auto origin = dag::parse_cell_id(anchor);
  // Ids written in another form than references use ("a1", "A01") name cells of their own;
  // their letters and digits say nothing about neighbours, so they do not spill.
  if (!origin || !dag::is_canonical_cell_id(anchor)) {
    values_.set(anchor, array.first());
    return;
  }
  const uint64_t c0 = origin->col, r0 = origin->row;
  const bool has_cells = array.rows > 0 && array.cols > 0;
  std::vector<std::string> targets;
  if (has_cells) {
    // Targets past the last row or column cannot be written: the spill is blocked.
    if (r0 + array.rows - 1 > UINT32_MAX || c0 + array.cols - 1 > UINT32_MAX) {
      values_.set(anchor, CellValue::error(FormulaError::spill()));
      return;
    }
    std::vector<std::string> letters;
    letters.reserve(array.cols);
    for (uint32_t j = 0; j < array.cols; ++j) letters.push_back(dag::column_letters(c0 + j));
    targets.reserve(array.size());
    for (uint32_t i = 0; i < array.rows; ++i) {
      std::string row = std::to_string(r0 + i);
      for (uint32_t j = 0; j < array.cols; ++j) {
        std::string target = letters[j] + row;
        if (i != 0 || j != 0) {
          const std::string* input = inputs_.find(target);
          const std::string* owner = spill_.owners.find(target);
          if ((input && !input->empty()) || (owner && *owner != anchor)) {
            values_.set(anchor, CellValue::error(FormulaError::spill()));
            return;
          }
        }
        targets.push_back(std::move(target));
      }
    }
    targets[0] = anchor;
    for (size_t k = 0; k < targets.size(); ++k) {
      values_.set(targets[k], array.data[k]);
      spill_.owners.set(targets[k], anchor);
    }
  } else {
    // An empty result leaves nothing to show at the anchor.
    values_.set(anchor, CellValue());
  }
  spill_.regions.set(anchor, SpillRegion{anchor, array.rows, array.cols});
  spill_.arrays.set(anchor, std::move(array));
}

std::optional<SpillError> Sheet::pin_value(std::string cell_id,
                                           std::vector<std::vector<CellValue>> rows) {
  if (rows.empty()) return SpillError{"array must have at least one row"};
  if (rows[0].empty()) return SpillError{"array must have at least one column"};
  const size_t cols = rows[0].size();
  for (const auto& row : rows)
    if (row.size() != cols) return SpillError{"rows must all have the same length"};
  if (uint64_t(rows.size()) * cols > UINT32_MAX || rows.size() > UINT32_MAX)
    return SpillError{"array is too large"};
  std::vector<CellValue> data;
  data.reserve(rows.size() * cols);
  for (auto& row : rows)
    for (auto& v : row) data.push_back(std::move(v));
  pins_.set(cell_id, ArrayValue(uint32_t(rows.size()), uint32_t(cols), std::move(data)));
  recalculate();
  return std::nullopt;
}

void Sheet::unpin_value(std::string_view cell_id) {
  const ArrayValue* pin = pins_.find(cell_id);
  if (!pin) return;
  // An anchor without input of its own showed only what the pin put there. A spilled pin's
  // cells are cleared by the next pass, but a one-cell pin, a blocked pin ("#SPILL!") and a
  // pin whose anchor cannot spill own no cell, so no pass would clear them: the anchor reads
  // Empty again. (An anchor inside another region gets that region's value back.)
  if (!inputs_.contains(cell_id)) values_.erase(cell_id);
  pins_.erase(cell_id);
  recalculate();
}

std::vector<std::string> Sheet::pinned_cells() const {
  std::vector<std::string> out;
  for (const auto& [id, array] : pins_) out.push_back(id);
  std::stable_sort(out.begin(), out.end());
  return out;
}

bool Sheet::is_pinned(std::string_view cell_id) const {
  return pins_.contains(cell_id);
}

}  // namespace tabrix
