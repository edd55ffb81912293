#include "core/registry.h"

#include <utility>

#include "core/builtins.h"
#include "core/unicode.h"

namespace tabrix {

namespace {

constexpr std::string_view kBinaryOperatorText[] = {"+", "-", "*", "/", "^", "%", "&"};
constexpr std::string_view kComparisonOperatorText[] = {"=", "<>", "<", "<=", ">", ">="};

char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

}  // namespace

std::string_view operator_text(BinaryOperator op) {
  return kBinaryOperatorText[size_t(op)];
}
std::string_view operator_text(ComparisonOperator op) {
  return kComparisonOperatorText[size_t(op)];
}

// Default behaviours of the optional handler operations.

std::optional<CustomValue> CustomTypeHandler::parse_literal(std::string_view) const {
  return std::nullopt;
}

std::optional<CustomValue> CustomTypeHandler::parse_with(std::string_view text,
                                                         std::string_view) const {
  return parse_literal(text);
}

BinaryOpAnswer CustomTypeHandler::binary_op(BinaryOperator, const CellValue&,
                                            const CellValue&) const {
  return std::nullopt;
}

std::optional<double> CustomTypeHandler::as_number(const CellValue&) const {
  return std::nullopt;
}

std::string RegistryError::display() const {
  switch (kind) {
    case Kind::DuplicateTypeTag:
      return "custom type tag already registered: " + name;
    case Kind::FunctionNameCollision:
      return "custom function name collides with existing: " + name;
  }
  return name;
}

RegistryStatus Registry::register_type(std::shared_ptr<const CustomTypeHandler> handler) {
  std::string tag = handler->type_tag();
  for (const auto& t : type_tags_)
    if (t == tag) return fail(RegistryError{RegistryError::Kind::DuplicateTypeTag, tag});
  types_.push_back(std::move(handler));
  type_tags_.push_back(std::move(tag));
  return std::monostate{};
}

RegistryStatus Registry::register_function(std::shared_ptr<const CustomFunction> function) {
  std::string name = function->name();
  // Full upper-casing, so that a name such as "ſum" cannot shadow SUM.
  bool collides = find_builtin(to_upper_full(name)) != nullptr;
  for (size_t i = 0; !collides && i < function_names_.size(); ++i)
    collides = equal_ignoring_ascii_case(function_names_[i], name);
  if (collides) return fail(RegistryError{RegistryError::Kind::FunctionNameCollision, name});
  functions_.push_back(std::move(function));
  function_names_.push_back(std::move(name));
  return std::monostate{};
}

std::optional<CellValue> Registry::parse_literal(std::string_view text) const {
  for (const auto& h : types_)
    if (auto v = h->parse_literal(text))
      return CellValue::custom(std::move(v->type_tag), std::move(v->data));
  return std::nullopt;
}

const CustomTypeHandler* Registry::find_type(std::string_view tag) const {
  for (size_t i = 0; i < type_tags_.size(); ++i)
    if (type_tags_[i] == tag) return types_[i].get();
  return nullptr;
}

const CustomFunction* Registry::find_function(std::string_view name) const {
  for (size_t i = 0; i < function_names_.size(); ++i)
    if (equal_ignoring_ascii_case(function_names_[i], name)) return functions_[i].get();
  return nullptr;
}

std::string Registry::render(const CellValue& value) const {
  std::string out;
  append_render(out, value);
  return out;
}

void Registry::append_render(std::string& out, const CellValue& value) const {
  switch (value.kind()) {
    case CellValue::Kind::Number:
      append_number_text(out, value.as_double());
      return;
    case CellValue::Kind::String:
      out += value.as_string();
      return;
    case CellValue::Kind::Custom:
      if (const auto* h = find_type(value.as_custom().type_tag))
        out += h->display(value);
      else
        out += value.as_custom().data;
      return;
    default:
      out += value.display();
      return;
  }
}

std::optional<double> Registry::coerce_number(const CellValue& value) const {
  if (!value.is_custom()) return value.as_number();
  const auto* h = find_type(value.as_custom().type_tag);
  return h ? h->as_number(value) : std::nullopt;
}

BinaryOpAnswer Registry::binary_op(BinaryOperator op, const CellValue& left,
                                   const CellValue& right) const {
  for (const auto& h : types_)
    if (auto answer = h->binary_op(op, left, right)) return answer;
  return std::nullopt;
}

CompareAnswer Registry::compare(ComparisonOperator op, const CellValue& left,
                                const CellValue& right) const {
  for (const auto& h : types_)
    if (auto answer = h->compare(op, left, right)) return answer;
  return std::nullopt;
}

Registry::FunctionList Registry::into_functions() && {
  types_.clear();
  type_tags_.clear();
  function_names_.clear();
  return std::move(functions_);
}

}  // namespace tabrix
