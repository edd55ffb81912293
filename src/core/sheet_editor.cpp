// The sheet's editor help: the catalog, signature help and completion, answered with the
// sheet's own custom functions and named ranges.
#include "core/sheet.h"

namespace tabrix {

std::vector<FunctionInfo> Sheet::list_functions() const {
  return list_functions_with_registry(*registry_);
}

std::optional<SignatureHelp> Sheet::signature_help(std::string_view formula, size_t cursor) const {
  return signature_help_with_registry(*registry_, formula, cursor);
}

CompletionList Sheet::complete(std::string_view formula, size_t cursor) const {
  // Names are stored upper-cased, in definition order.
  std::vector<std::string_view> names;
  names.reserve(names_.size());
  for (const auto& [name, definition] : names_) names.push_back(name);
  return tabrix::complete(formula, cursor, names);
}

}  // namespace tabrix
