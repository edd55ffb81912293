#include "core/builtins.h"

#include <string>
#include <utility>
#include <vector>

#include "core/builtins_impl.h"

namespace tabrix {

namespace {

namespace b = builtins;

constexpr BuiltinEval scalar(ScalarImpl f) {
  return {EvalMode::Scalar, f, nullptr};
}
constexpr BuiltinEval array(ArrayImpl f) {
  return {EvalMode::Array, nullptr, f};
}

// Catalog data. Each array is named after its function; the table below points into them.

constexpr std::string_view kAverageAliases[] = {"MEAN", "AVG"};

constexpr BuiltinParam kSumValue{"value", "A number, cell reference, or range to add.", false};
constexpr BuiltinParam kAverageValue{"value", "A number, cell reference, or range to average.",
                                     false};
constexpr BuiltinParam kMinMaxValue{"value", "A number, cell reference, or range.", false};
constexpr BuiltinParam kCountValue{
    "value", "A value, cell, or range. Non-numeric values are ignored.", false};
constexpr BuiltinParam kConcatValue{"value", "A value to convert to text and concatenate.", false};

constexpr BuiltinParam kAbsParams[] = {
    {"value", "The number to take the absolute value of.", false}};
constexpr BuiltinParam kRoundParams[] = {
    {"value", "The number to round.", false},
    {"decimals", "Number of decimal places (default 0).", true}};
constexpr BuiltinParam kIfParams[] = {
    {"condition", "Truthy: nonzero number or non-empty string. May be an array.", false},
    {"then_value", "Returned when the condition is truthy.", true},
    {"else_value", "Returned when the condition is falsy.", true}};
constexpr BuiltinParam kLenParams[] = {{"text", "The string to measure.", false}};
constexpr BuiltinParam kCaseParams[] = {{"text", "The string to convert.", false}};
constexpr BuiltinParam kSequenceParams[] = {{"rows", "Number of rows to generate.", false},
                                            {"cols", "Number of columns (default 1).", true},
                                            {"start", "Starting value (default 1).", true},
                                            {"step", "Increment (default 1).", true}};
constexpr BuiltinParam kTransposeParams[] = {{"array", "Array to transpose.", false}};
constexpr BuiltinParam kFilterParams[] = {
    {"array", "Array to filter.", false},
    {"condition", "Same-shape boolean array. Rows (or cells) where condition is truthy survive.",
     false}};
constexpr BuiltinParam kSortParams[] = {
    {"array", "Array to sort.", false},
    {"sort_col", "1-based column index to sort by (default 1).", true},
    {"ascending", "TRUE (nonzero) for ascending (default), FALSE (zero) for descending.", true}};
constexpr BuiltinParam kUniqueParams[] = {
    {"array", "Array whose unique rows (or values) to return, in first-seen order.", false}};

constexpr BuiltinExample kSumExamples[] = {{"=SUM(1, 2, 3)", "6"},
                                           {"=SUM(A1:A10)", "(sum of A1 through A10)"}};
constexpr BuiltinExample kAverageExamples[] = {{"=AVERAGE(2, 4, 6)", "4"},
                                               {"=AVERAGE(A1:A10)", "(mean of A1:A10)"}};
constexpr BuiltinExample kMinExamples[] = {{"=MIN(3, 1, 5)", "1"}};
constexpr BuiltinExample kMaxExamples[] = {{"=MAX(3, 1, 5)", "5"}};
constexpr BuiltinExample kCountExamples[] = {{"=COUNT(1, \"x\", 2)", "2"}};
constexpr BuiltinExample kAbsExamples[] = {{"=ABS(-5)", "5"}};
constexpr BuiltinExample kRoundExamples[] = {{"=ROUND(3.456, 2)", "3.46"}, {"=ROUND(3.456)", "3"}};
constexpr BuiltinExample kIfExamples[] = {{"=IF(A1>0, \"yes\", \"no\")", "\"yes\" or \"no\""}};
constexpr BuiltinExample kConcatExamples[] = {
    {"=CONCAT(\"hello\", \" \", \"world\")", "\"hello world\""}};
constexpr BuiltinExample kLenExamples[] = {{"=LEN(\"hello\")", "5"}};
constexpr BuiltinExample kUpperExamples[] = {{"=UPPER(\"hello\")", "\"HELLO\""}};
constexpr BuiltinExample kLowerExamples[] = {{"=LOWER(\"HELLO\")", "\"hello\""}};
constexpr BuiltinExample kSequenceExamples[] = {{"=SEQUENCE(5)", "{1; 2; 3; 4; 5}"},
                                                {"=SEQUENCE(2, 3)", "{1, 2, 3; 4, 5, 6}"},
                                                {"=SEQUENCE(3, 1, 10, 2)", "{10; 12; 14}"}};
constexpr BuiltinExample kTransposeExamples[] = {{"=TRANSPOSE(A1:C1)", "(column of 3 values)"}};
constexpr BuiltinExample kFilterExamples[] = {
    {"=FILTER(A1:A5, A1:A5>2)", "(values greater than 2)"}};
constexpr BuiltinExample kSortExamples[] = {{"=SORT(A1:A5)", "(sorted ascending)"},
                                            {"=SORT(A1:B5, 2, 0)", "(sort by col 2 descending)"}};
constexpr BuiltinExample kUniqueExamples[] = {
    {"=UNIQUE(A1:A10)", "(unique values in first-seen order)"}};

using K = BuiltinKind;

}  // namespace

// clang-format off
const std::array<BuiltinEntry, 17> BUILTINS = {{
    {"SUM", {}, "Math", {}, &kSumValue,
     "Returns the sum of a series of numbers and/or cells.",
     kSumExamples, K::Aggregate, scalar(b::sum)},
    {"AVERAGE", kAverageAliases, "Statistical", {}, &kAverageValue,
     "Returns the arithmetic mean of the supplied numbers.",
     kAverageExamples, K::Aggregate, scalar(b::average)},
    {"MIN", {}, "Statistical", {}, &kMinMaxValue,
     "Returns the smallest of the supplied numbers.",
     kMinExamples, K::Aggregate, scalar(b::min)},
    {"MAX", {}, "Statistical", {}, &kMinMaxValue,
     "Returns the largest of the supplied numbers.",
     kMaxExamples, K::Aggregate, scalar(b::max)},
    {"COUNT", {}, "Statistical", {}, &kCountValue,
     "Counts how many of the supplied values are numeric.",
     kCountExamples, K::Aggregate, scalar(b::count)},
    {"ABS", {}, "Math", kAbsParams, nullptr,
     "Returns the absolute value of a number. Elementwise over arrays.",
     kAbsExamples, K::Elementwise, scalar(b::abs)},
    {"ROUND", {}, "Math", kRoundParams, nullptr,
     "Rounds a number to a fixed number of decimal places. Elementwise.",
     kRoundExamples, K::Elementwise, scalar(b::round)},
    {"IF", {}, "Logical", kIfParams, nullptr,
     "Returns one of two values depending on a condition. Broadcasts across arrays.",
     kIfExamples, K::ArrayReturning, array(b::if_)},
    {"CONCAT", {}, "Text", {}, &kConcatValue,
     "Concatenates all arguments into a single string.",
     kConcatExamples, K::Aggregate, scalar(b::concat)},
    {"LEN", {}, "Text", kLenParams, nullptr,
     "Returns the number of characters in a string. Elementwise.",
     kLenExamples, K::Elementwise, scalar(b::len)},
    {"UPPER", {}, "Text", kCaseParams, nullptr,
     "Converts a string to upper case. Elementwise.",
     kUpperExamples, K::Elementwise, scalar(b::upper)},
    {"LOWER", {}, "Text", kCaseParams, nullptr,
     "Converts a string to lower case. Elementwise.",
     kLowerExamples, K::Elementwise, scalar(b::lower)},
    {"SEQUENCE", {}, "Array", kSequenceParams, nullptr,
     "Generates a rows×cols array of sequential numbers.",
     kSequenceExamples, K::ArrayReturning, array(b::sequence)},
    {"TRANSPOSE", {}, "Array", kTransposeParams, nullptr,
     "Swaps the rows and columns of an array.",
     kTransposeExamples, K::ArrayReturning, array(b::transpose)},
    {"FILTER", {}, "Array", kFilterParams, nullptr,
     "Returns the rows of `array` where the matching element of `condition` is truthy.",
     kFilterExamples, K::ArrayReturning, array(b::filter)},
    {"SORT", {}, "Array", kSortParams, nullptr,
     "Returns the array sorted by the given column.",
     kSortExamples, K::ArrayReturning, array(b::sort)},
    {"UNIQUE", {}, "Array", kUniqueParams, nullptr,
     "Removes duplicate rows (or values) from an array.",
     kUniqueExamples, K::ArrayReturning, array(b::unique)},
}};
// clang-format on

const BuiltinEntry* find_builtin(std::string_view name) {
  for (const auto& e : BUILTINS) {
    if (e.name == name) return &e;
    for (auto alias : e.aliases)
      if (alias == name) return &e;
  }
  return nullptr;
}

namespace {

// Every element of every argument, argument by argument, each row-major.
std::vector<CellValue> flatten(std::span<const ArrayValue> args) {
  size_t n = 0;
  for (const auto& a : args) n += a.data.size();
  std::vector<CellValue> out;
  out.reserve(n);
  for (const auto& a : args) out.insert(out.end(), a.data.begin(), a.data.end());
  return out;
}

Result<ArrayValue, FormulaError> call_aggregate(ScalarImpl impl, std::span<const ArrayValue> args,
                                                const Registry& registry) {
  // A single argument (SUM(A1:A1000)) is already flat: no copy of its values.
  std::vector<CellValue> flat;
  if (args.size() != 1) flat = flatten(args);
  auto r = impl(args.size() == 1 ? std::span<const CellValue>(args[0].data) : flat, registry);
  if (!r) return fail(std::move(r.error()));
  return ArrayValue::scalar(std::move(*r));
}

// Each element of the first argument followed by the top-left values of the others. The
// list is built once and only its first slot changes per element.
Result<ArrayValue, FormulaError> call_elementwise(ScalarImpl impl, std::span<const ArrayValue> args,
                                                  const Registry& registry) {
  if (args.empty()) return ArrayValue::scalar(CellValue());
  const ArrayValue& first = args[0];
  std::vector<CellValue> list(args.size());
  for (size_t i = 1; i < args.size(); ++i) list[i] = args[i].first();
  std::vector<CellValue> out;
  out.reserve(first.data.size());
  for (const auto& element : first.data) {
    list[0] = element;
    auto r = impl(list, registry);
    if (r) {
      out.push_back(std::move(*r));
    } else {
      if (first.size() == 1) return fail(std::move(r.error()));
      out.push_back(CellValue::error(std::move(r.error())));
    }
  }
  return ArrayValue(first.rows, first.cols, std::move(out));
}

FormulaError mode_mismatch(std::string_view name, std::string_view kind, std::string_view mode) {
  return FormulaError::other(std::string(name) + ": " + std::string(kind) + " requires " +
                             std::string(mode) + " eval");
}

}  // namespace

Result<ArrayValue, FormulaError> call_builtin(const BuiltinEntry& entry,
                                              std::span<const ArrayValue> args,
                                              const Registry& registry) {
  switch (entry.kind) {
    case BuiltinKind::Aggregate:
      if (entry.eval.mode != EvalMode::Scalar || !entry.eval.scalar)
        return fail(mode_mismatch(entry.name, "Aggregate", "Scalar"));
      return call_aggregate(entry.eval.scalar, args, registry);
    case BuiltinKind::Elementwise:
      if (entry.eval.mode != EvalMode::Scalar || !entry.eval.scalar)
        return fail(mode_mismatch(entry.name, "Elementwise", "Scalar"));
      return call_elementwise(entry.eval.scalar, args, registry);
    case BuiltinKind::ArrayReturning:
      if (entry.eval.mode != EvalMode::Array || !entry.eval.array)
        return fail(mode_mismatch(entry.name, "ArrayReturning", "Array"));
      return entry.eval.array(args, registry);
  }
  return fail(FormulaError::name());
}

Result<ArrayValue, FormulaError> call_function(std::string_view name,
                                               std::span<const ArrayValue> args,
                                               const Registry& registry) {
  if (const CustomFunction* fn = registry.find_function(name)) {
    auto r = fn->call(flatten(args));
    if (!r) return fail(FormulaError::from_text(r.error()));
    return ArrayValue::scalar(std::move(*r));
  }
  if (const BuiltinEntry* entry = find_builtin(name)) return call_builtin(*entry, args, registry);
  return fail(FormulaError::name());
}

}  // namespace tabrix
