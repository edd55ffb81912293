#include "core/catalog.h"

namespace tabrix {

namespace {

// The texts are written the same way for a constant table entry and for an owned
// FunctionInfo: both have `name`, `params`, `variadic` (a pointer or an optional),
// `description` and `examples` with the same meaning.

template <class Info>
std::string signature_of(const Info& info) {
  std::string out(info.name);
  out += '(';
  bool first = true;
  for (const auto& p : info.params) {
    if (!first) out += ", ";
    first = false;
    out += p.name;
    if (p.optional) out += '?';
  }
  if (info.variadic) {
    if (!first) out += ", ";
    out += info.variadic->name;
    out += ", ...";
  }
  out += ')';
  return out;
}

template <class Info>
std::string documentation_of(const Info& info) {
  std::string out(info.description);
  if (info.examples.empty()) return out;
  out += "\n\nExamples:";
  for (const auto& e : info.examples) {
    out += "\n  ";
    out += e.formula;
    out += " → ";
    out += e.result;
  }
  return out;
}

}  // namespace

ParamInfo param_info(const BuiltinParam& param) {
  return ParamInfo{std::string(param.name), std::string(param.description), param.optional};
}

FunctionInfo function_info(const BuiltinEntry& entry) {
  FunctionInfo info;
  info.name = entry.name;
  info.aliases.assign(entry.aliases.begin(), entry.aliases.end());
  info.category = entry.category;
  info.params.reserve(entry.params.size());
  for (const BuiltinParam& p : entry.params) info.params.push_back(param_info(p));
  if (entry.variadic) info.variadic = param_info(*entry.variadic);
  info.description = entry.description;
  info.examples.reserve(entry.examples.size());
  for (const BuiltinExample& e : entry.examples)
    info.examples.push_back(ExampleInfo{std::string(e.formula), std::string(e.result)});
  return info;
}

std::vector<FunctionInfo> list_functions() {
  std::vector<FunctionInfo> out;
  out.reserve(BUILTINS.size());
  for (const BuiltinEntry& e : BUILTINS) out.push_back(function_info(e));
  return out;
}

FunctionInfo custom_function_info(std::string_view name) {
  FunctionInfo info;
  info.name = name;
  info.category = "Custom";
  info.variadic = ParamInfo{"args", "", true};
  return info;
}

std::vector<FunctionInfo> list_functions_with_registry(const Registry& registry) {
  std::vector<FunctionInfo> out = list_functions();
  out.reserve(out.size() + registry.function_names().size());
  for (const std::string& name : registry.function_names())
    out.push_back(custom_function_info(name));
  return out;
}

std::string signature_text(const BuiltinEntry& entry) {
  return signature_of(entry);
}
std::string signature_text(const FunctionInfo& info) {
  return signature_of(info);
}

std::string documentation_text(const BuiltinEntry& entry) {
  return documentation_of(entry);
}
std::string documentation_text(const FunctionInfo& info) {
  return documentation_of(info);
}

}  // namespace tabrix
