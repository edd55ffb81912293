// Implementations of the built-in functions, shared between the dispatch table
// (builtins.cpp) and the files that implement them by concern: builtins_scalar.cpp for the
// aggregate and element-wise functions, builtins_array.cpp for the array-returning ones.
// Each follows the calling convention of its kind (see builtins.h) and reports failures as
// `FormulaError` values with the texts users see.
#pragma once

#include <span>

#include "core/registry.h"
#include "core/result.h"
#include "core/value.h"

namespace tabrix::builtins {

using ScalarResult = Result<CellValue, FormulaError>;
using ArrayResult = Result<ArrayValue, FormulaError>;

// Aggregates over one flat list of values. Cannot fail.
ScalarResult sum(std::span<const CellValue> args, const Registry& registry);
ScalarResult average(std::span<const CellValue> args, const Registry& registry);
ScalarResult min(std::span<const CellValue> args, const Registry& registry);
ScalarResult max(std::span<const CellValue> args, const Registry& registry);
ScalarResult count(std::span<const CellValue> args, const Registry& registry);
ScalarResult concat(std::span<const CellValue> args, const Registry& registry);

// Element-wise: one element followed by the top-left values of the further arguments.
// Cannot fail.
ScalarResult abs(std::span<const CellValue> args, const Registry& registry);
ScalarResult round(std::span<const CellValue> args, const Registry& registry);
ScalarResult len(std::span<const CellValue> args, const Registry& registry);
ScalarResult upper(std::span<const CellValue> args, const Registry& registry);
ScalarResult lower(std::span<const CellValue> args, const Registry& registry);

// Array-returning; each fails with Value (Size for oversized results) and its own text.
ArrayResult if_(std::span<const ArrayValue> args, const Registry& registry);
ArrayResult sequence(std::span<const ArrayValue> args, const Registry& registry);
ArrayResult transpose(std::span<const ArrayValue> args, const Registry& registry);
ArrayResult filter(std::span<const ArrayValue> args, const Registry& registry);
ArrayResult sort(std::span<const ArrayValue> args, const Registry& registry);
ArrayResult unique(std::span<const ArrayValue> args, const Registry& registry);

}  // namespace tabrix::builtins
