// Sheet: the one stateful object of the engine. A sheet of cells addressed by A1 ids with
// its named ranges, pinned arrays, spill bookkeeping and the registry of custom types and
// functions. Every change of inputs, names or pins stores the change and recalculates the
// whole sheet before returning; registering a type or function does not recalculate.
//
// Cell ids are map keys taken exactly as given ("b12" is a cell of its own that no reference
// reaches). The maps keep insertion order, which decides the evaluation order of cells that
// do not depend on each other.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/catalog.h"
#include "core/complete.h"
#include "core/ordered_map.h"
#include "core/registry.h"
#include "core/value.h"

namespace tabrix {

struct SpillRegion {
  std::string anchor;
  uint32_t rows = 0;
  uint32_t cols = 0;
  bool operator==(const SpillRegion&) const = default;
};

struct SpillState {
  OrderedMap<SpillRegion> regions;  // anchor -> placed region
  OrderedMap<std::string> owners;   // every written cell, anchor included -> anchor
  OrderedMap<ArrayValue> arrays;    // anchor -> the whole placed array
};

// Failure of pin_value: "InvalidShape: {message}".
struct SpillError {
  std::string message;
  std::string display() const { return "InvalidShape: " + message; }
};

// The input of one cell in a typed write: raw text (classified; empty deletes the cell) or a
// value stored as it is.
using CellInput = std::variant<std::string, CellValue>;

// Success, or the failure of a sheet operation.
using SheetStatus = std::optional<SheetError>;

class Sheet {
 public:
  Sheet();
  explicit Sheet(std::shared_ptr<Registry> registry);
  static Sheet new_with_registry(std::shared_ptr<Registry> registry) {
    return Sheet(std::move(registry));
  }

  // Applies (id, raw text) pairs in order, then recalculates. Fails only with the Cycle of
  // the recalculation; the changes stay stored.
  SheetStatus set_cells(const std::vector<std::pair<std::string, std::string>>& changes);
  // Same for typed inputs; a typed value is stored with its rendered text as input.
  SheetStatus set_cells_typed(std::vector<std::pair<std::string, CellInput>> changes);
  // A copy of the computed value; Empty when the cell has none. Cannot fail.
  CellValue get(std::string_view cell_id) const;
  // The first handler with this exact tag parses (raw, options); nothing when no handler has
  // the tag or it declines. Cannot fail.
  std::optional<CustomValue> try_parse(std::string_view type_tag, std::string_view raw,
                                       std::string_view options) const;
  // Registration (copy on write of a shared registry); no recalculation. Fails with the
  // registry's error, leaving it unchanged.
  RegistryStatus register_type(std::shared_ptr<const CustomTypeHandler> handler);
  RegistryStatus register_function(std::shared_ptr<const CustomFunction> function);

  // Brings every value up to date: passes until the spill regions stop changing, at most
  // four. Fails with Cycle listing the cells the topological sort left out.
  SheetStatus recalculate();

  // Spills: the region anchored at the cell, the anchor of the region that wrote it, the
  // array placed at an anchor; null when there is none. Cannot fail.
  const SpillRegion* spill_at(std::string_view cell_id) const;
  const std::string* owner_of(std::string_view cell_id) const;
  const ArrayValue* spill_array(std::string_view cell_id) const;

  // Named ranges. set_name fails with BadName, BadDefinition (nothing stored) or the Cycle of
  // the recalculation (definition stored); remove_name only with a Cycle.
  SheetStatus set_name(std::string_view name, std::string definition);
  SheetStatus remove_name(std::string_view name);
  const std::string* get_name(std::string_view name) const;

  // Pins. pin_value fails with InvalidShape and stores nothing; a cycle found by the
  // recalculation that follows is not reported.
  std::optional<SpillError> pin_value(std::string cell_id,
                                      std::vector<std::vector<CellValue>> rows);
  // Removes a pin and recalculates (nothing when there is no pin); an anchor without input
  // reads Empty afterwards. Cannot fail: a cycle found by the recalculation is not reported.
  void unpin_value(std::string_view cell_id);
  // The anchors sorted byte-wise; whether the id is an anchor. Cannot fail.
  std::vector<std::string> pinned_cells() const;
  bool is_pinned(std::string_view cell_id) const;

  // Editor help with this sheet's custom functions and named ranges (sheet_editor.cpp).
  std::vector<FunctionInfo> list_functions() const;
  std::optional<SignatureHelp> signature_help(std::string_view formula, size_t cursor) const;
  CompletionList complete(std::string_view formula, size_t cursor) const;

  // Read access for the Python layer and the editor helpers.
  const OrderedMap<std::string>& inputs() const { return inputs_; }
  const OrderedMap<CellValue>& values() const { return values_; }
  const OrderedMap<std::string>& names() const { return names_; }
  const std::shared_ptr<Registry>& registry() const { return registry_; }

 private:
  friend class RecalcPass;
  void apply_raw(const std::string& id, const std::string& raw);
  void place_result(const std::string& anchor, ArrayValue array);
  Registry& mutable_registry();

  OrderedMap<std::string> inputs_;
  OrderedMap<CellValue> values_;
  OrderedMap<CellValue> typed_;
  OrderedMap<std::string> names_;
  SpillState spill_;
  OrderedMap<ArrayValue> pins_;
  std::shared_ptr<Registry> registry_;
};

}  // namespace tabrix
