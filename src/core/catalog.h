// The function catalog: the help an editor shows for functions.
//
// Built-ins are described by the catalog data of `BUILTINS` (names, aliases, categories,
// parameters, descriptions, examples); this module copies that constant data into owned
// `FunctionInfo` values and writes the two texts completion shows: the one-line signature
// ("ROUND(value, decimals?)") and the documentation (the description and the examples).
// Registered custom functions carry no metadata, so they get a minimal "Custom" entry.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/builtins.h"
#include "core/registry.h"

namespace tabrix {

struct ParamInfo {
  std::string name;
  std::string description;
  bool optional = false;

  bool operator==(const ParamInfo&) const = default;
};

struct ExampleInfo {
  std::string formula;  // a complete formula text
  std::string result;   // the displayed result or a parenthesised explanation

  bool operator==(const ExampleInfo&) const = default;
};

struct FunctionInfo {
  std::string name;  // upper case for built-ins; as registered for custom functions
  std::vector<std::string> aliases;
  std::string category;           // "Math", "Statistical", "Logical", "Text", "Array" or "Custom"
  std::vector<ParamInfo> params;  // the fixed parameters, in order
  std::optional<ParamInfo> variadic;  // any number of further arguments of this kind
  std::string description;
  std::vector<ExampleInfo> examples;

  bool operator==(const FunctionInfo&) const = default;
};

// Owned copies of a built-in's catalog data. Cannot fail.
ParamInfo param_info(const BuiltinParam& param);
FunctionInfo function_info(const BuiltinEntry& entry);

// Every built-in, in table order. Cannot fail.
std::vector<FunctionInfo> list_functions();

// The minimal entry of a registered custom function: category "Custom", no aliases, no fixed
// parameters, an optional variadic parameter "args", empty description, no examples. Cannot
// fail.
FunctionInfo custom_function_info(std::string_view name);

// Every built-in in table order, then every custom function of `registry` in registration
// order. Cannot fail.
std::vector<FunctionInfo> list_functions_with_registry(const Registry& registry);

// The signature text: the name and the parameters in parentheses, an optional one marked
// "?", a variadic one followed by ", ..." ("SUM(value, ...)", "ROUND(value, decimals?)").
// Cannot fail.
std::string signature_text(const BuiltinEntry& entry);
std::string signature_text(const FunctionInfo& info);

// The documentation text: the description, then when there are examples a blank line,
// "Examples:" and one line "  {formula} → {result}" per example. Cannot fail.
std::string documentation_text(const BuiltinEntry& entry);
std::string documentation_text(const FunctionInfo& info);

}  // namespace tabrix
