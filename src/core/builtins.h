// Built-in functions and the dispatch of function calls.
//
// `BUILTINS` is the one table of the seventeen built-ins: it drives dispatch (`call_function`),
// the function catalog (names, aliases, categories, parameters, descriptions, examples) and name
// validation (`find_builtin`). Each entry has a kind that decides how the argument arrays reach
// its implementation, and an evaluation mode that carries the implementation itself:
//
//   Aggregate       one flat list of every argument element        -> one value   (Scalar)
//   Elementwise     per element of argument 1: it + the top-left
//                   value of each further argument                 -> one value   (Scalar)
//   ArrayReturning  the argument arrays themselves                  -> an array    (Array)
//
// Custom functions of the registry are looked up before the built-ins.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/registry.h"
#include "core/result.h"
#include "core/value.h"

namespace tabrix {

// Arrays built by ranges, array literals, element-wise operators, SEQUENCE and IF hold at most
// this many cells; the limit is checked before any cell is computed.
inline constexpr uint64_t kMaxArrayCells = 100000;

enum class BuiltinKind : uint8_t { Aggregate, Elementwise, ArrayReturning };
enum class EvalMode : uint8_t { Scalar, Array };

using ScalarImpl = Result<CellValue, FormulaError> (*)(std::span<const CellValue> args,
                                                       const Registry& registry);
using ArrayImpl = Result<ArrayValue, FormulaError> (*)(std::span<const ArrayValue> args,
                                                       const Registry& registry);

// The evaluation mode and the implementation it carries (`scalar` for Scalar, `array` for
// Array; the other pointer is null).
struct BuiltinEval {
  EvalMode mode;
  ScalarImpl scalar;
  ArrayImpl array;
};

// Catalog data of one parameter and one usage example.
struct BuiltinParam {
  std::string_view name;
  std::string_view description;
  bool optional;
};

struct BuiltinExample {
  std::string_view formula;
  std::string_view result;
};

struct BuiltinEntry {
  std::string_view name;
  std::span<const std::string_view> aliases;
  std::string_view category;  // "Math", "Statistical", "Logical", "Text" or "Array"
  std::span<const BuiltinParam> params;
  const BuiltinParam* variadic;  // null when the function has fixed parameters only
  std::string_view description;
  std::span<const BuiltinExample> examples;
  BuiltinKind kind;
  BuiltinEval eval;
};

// SUM, AVERAGE, MIN, MAX, COUNT, ABS, ROUND, IF, CONCAT, LEN, UPPER, LOWER, SEQUENCE,
// TRANSPOSE, FILTER, SORT, UNIQUE, in this order.
extern const std::array<BuiltinEntry, 17> BUILTINS;

// The first entry whose name or one of whose aliases equals `name` exactly (case-sensitive);
// null when none. Cannot fail.
const BuiltinEntry* find_builtin(std::string_view name);

// Calls a function by its (upper-case) name with the evaluated argument arrays: a custom
// function of the registry whose name equals it ignoring ASCII case first, then a built-in.
// Fails with Name for an unknown function, with the custom function's error text read by
// `FormulaError::from_text`, or with the built-in's failure.
Result<ArrayValue, FormulaError> call_function(std::string_view name,
                                               std::span<const ArrayValue> args,
                                               const Registry& registry);

// Runs one built-in entry according to its kind. Fails with the implementation's failure,
// or with Other "{name}: Aggregate requires Scalar eval" (and the Elementwise/ArrayReturning
// variants) when the entry's kind and evaluation mode do not match.
Result<ArrayValue, FormulaError> call_builtin(const BuiltinEntry& entry,
                                              std::span<const ArrayValue> args,
                                              const Registry& registry);

// The total order SORT uses, lowest first: numbers and booleans together (numerically, TRUE
// as 1; NaN equal to everything), texts (bytes, then length), Empty, errors (by display
// text), custom values (by tag, then data). Cannot fail.
std::weak_ordering compare_cell_values(const CellValue& a, const CellValue& b);

}  // namespace tabrix
