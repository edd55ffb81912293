// The extension registry: custom value types and custom formula functions.
//
// The engine itself knows only the plain values and the seventeen built-ins. Everything else
// enters through two interfaces: a `CustomTypeHandler` defines a value type (its values are
// `CellValue::Custom` carrying the handler's tag) and a `CustomFunction` defines a formula
// function. A `Registry` keeps both in registration order and answers the engine's questions
// about custom values: which type claims a literal, how a value shows as text, which number it
// stands for and how operators apply to it.
//
// Handlers and functions are shared through `std::shared_ptr` (atomically counted) and never
// change after registration. A registry only grows; copying one is cheap (vectors of shared
// pointers and cached names) and the copy shares the objects, which is how a sheet copies its
// registry on write while evaluators still hold the old one.
//
// Extension operations never fail by themselves: they decline or return an error text, which
// the engine reads back into a `FormulaError` with `FormulaError::from_text`.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/result.h"
#include "core/value.h"

namespace tabrix {

// Operator codes shared with extensions; the numeric values are part of the interface.
enum class BinaryOperator : uint8_t {
  Add = 0,     // +
  Sub = 1,     // -
  Mul = 2,     // *
  Div = 3,     // /
  Pow = 4,     // ^
  Mod = 5,     // %
  Concat = 6,  // &
};

enum class ComparisonOperator : uint8_t {
  Eq = 0,  // =
  Ne = 1,  // <>
  Lt = 2,  // <
  Le = 3,  // <=
  Gt = 4,  // >
  Ge = 5,  // >=
};

// The written form of an operator ("+", "<>"). Cannot fail.
std::string_view operator_text(BinaryOperator op);
std::string_view operator_text(ComparisonOperator op);

// Answers of `binary_op` and `compare`: no value means the handler declines the pair; a
// failure carries an error text (read back with `FormulaError::from_text`).
using BinaryOpAnswer = std::optional<Result<CellValue, std::string>>;
using CompareAnswer = std::optional<Result<bool, std::string>>;

// A custom value type. Operations are const: a handler never changes after registration.
class CustomTypeHandler {
 public:
  virtual ~CustomTypeHandler() = default;

  // The tag carried by this type's values; compared byte for byte.
  virtual std::string type_tag() const = 0;
  // Offered every non-formula input text, the empty text included. Default: declines.
  virtual std::optional<CustomValue> parse_literal(std::string_view text) const;
  // An explicit typed parse with options. Default: this handler's `parse_literal(text)`.
  virtual std::optional<CustomValue> parse_with(std::string_view text,
                                                std::string_view options) const;
  // The text shown for a value of this type.
  virtual std::string display(const CellValue& value) const = 0;
  // The value's editing form (not used by the engine itself).
  virtual std::string edit_repr(const CellValue& value) const = 0;
  // Offered every element pair of an arithmetic or & operation with a custom value on
  // either side, whatever its tag; must decline pairs it does not handle. Default: declines.
  virtual BinaryOpAnswer binary_op(BinaryOperator op, const CellValue& left,
                                   const CellValue& right) const;
  // Offered every comparison pair with a custom value on either side and no error value.
  virtual CompareAnswer compare(ComparisonOperator op, const CellValue& left,
                                const CellValue& right) const = 0;
  // The numeric reading of a value of this type. Default: none.
  virtual std::optional<double> as_number(const CellValue& value) const;
};

// A custom formula function.
class CustomFunction {
 public:
  virtual ~CustomFunction() = default;

  // The name formulas call it by (matched ignoring ASCII case).
  virtual std::string name() const = 0;
  // Called with the flattened argument values (each argument's elements row-major). A
  // failure is an error text.
  virtual Result<CellValue, std::string> call(const std::vector<CellValue>& args) const = 0;
};

struct RegistryError {
  enum class Kind : uint8_t { DuplicateTypeTag, FunctionNameCollision };
  Kind kind;
  std::string name;  // the new handler's tag, or the new function's name as it gave it

  // "custom type tag already registered: {}" or
  // "custom function name collides with existing: {}". Cannot fail.
  std::string display() const;
  bool operator==(const RegistryError&) const = default;
};

using RegistryStatus = Result<std::monostate, RegistryError>;

class Registry {
 public:
  using TypeList = std::vector<std::shared_ptr<const CustomTypeHandler>>;
  using FunctionList = std::vector<std::shared_ptr<const CustomFunction>>;

  // Appends a handler. Fails with DuplicateTypeTag when its tag equals (byte for byte) the
  // tag of a registered handler; the registry is then unchanged. An empty tag is accepted.
  RegistryStatus register_type(std::shared_ptr<const CustomTypeHandler> handler);
  // Appends a function. Fails with FunctionNameCollision when the name, upper-cased with full
  // Unicode mapping, is a built-in name or alias, or when it equals the name of a registered
  // function ignoring ASCII case; the registry is then unchanged.
  RegistryStatus register_function(std::shared_ptr<const CustomFunction> function);

  // The first answer of the handlers' `parse_literal`, in registration order, as a Custom
  // value; none when every handler declines. Cannot fail.
  std::optional<CellValue> parse_literal(std::string_view text) const;
  // The text of a value: its text form, or for a Custom value the `display` of the handler
  // with its tag (its `data` when no handler has the tag). Cannot fail.
  std::string render(const CellValue& value) const;
  void append_render(std::string& out, const CellValue& value) const;
  // The numeric reading: numbers, booleans (1/0), texts under the number grammar, Custom
  // values through their handler's `as_number`; none for empty, error and the rest.
  std::optional<double> coerce_number(const CellValue& value) const;

  // Offers an operator pair to every handler in registration order; the first answer wins.
  // No value when every handler declines (or none is registered). Cannot fail.
  BinaryOpAnswer binary_op(BinaryOperator op, const CellValue& left, const CellValue& right) const;
  CompareAnswer compare(ComparisonOperator op, const CellValue& left, const CellValue& right) const;

  // The handler whose tag equals `tag` byte for byte; null when none. Cannot fail.
  const CustomTypeHandler* find_type(std::string_view tag) const;
  // The function whose name equals `name` ignoring ASCII case, the first in registration
  // order; null when none. Cannot fail.
  const CustomFunction* find_function(std::string_view name) const;

  // Registered handlers and functions, in registration order.
  const TypeList& types() const { return types_; }
  const FunctionList& functions() const { return functions_; }
  // The names the functions gave at registration, parallel to `functions()`.
  const std::vector<std::string>& function_names() const { return function_names_; }

  // Gives up the registry (releasing its handlers) and returns its functions in order.
  FunctionList into_functions() &&;

 private:
  TypeList types_;
  std::vector<std::string> type_tags_;  // parallel to types_, asked once at registration
  FunctionList functions_;
  std::vector<std::string> function_names_;  // parallel to functions_
};

}  // namespace tabrix
