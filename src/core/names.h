// Named ranges: workbook-global names bound to definition texts. Formulas use names wherever
// an expression may stand; every recalculation replaces the name nodes of each formula's tree
// by the parsed definitions, so the references inside a definition become ordinary
// dependencies of the formula that uses it.
#pragma once

#include <string>
#include <string_view>

#include "core/ast.h"
#include "core/ordered_map.h"
#include "core/result.h"

namespace tabrix::names {

// Deepest chain of names defined through other names that one formula may expand.
inline constexpr size_t kMaxNameNesting = 1000;
// Most nodes that definitions may add to one formula's tree. Each use of a name copies its
// definition, so names that use another name twice double at every level: a few short
// definitions would otherwise expand into billions of nodes and exhaust memory.
inline constexpr size_t kMaxExpandedNodes = 1000000;

// The tree of a definition: a formula ("=...") parsed, a finite number, otherwise the text
// itself. Fails with the parser's message.
Result<AstNode, std::string> parse_definition(std::string_view text);

// Replaces every Name node of `tree` by its expanded definition, left to right. Fails with
// "#NAME?" for an undefined name, "#CIRCULAR!" for a name met again inside its own
// expansion, a definition's parser message, "#VALUE! names nested too deeply" past
// kMaxNameNesting levels, or "#VALUE! names expand too far" past kMaxExpandedNodes nodes
// taken from definitions. Iterative.
Result<AstNode, std::string> resolve_names(AstNode tree, const OrderedMap<std::string>& names);

// Validates a name for definition; returns the BadName message, or nothing when valid.
std::optional<std::string> validate_name(std::string_view name);

}  // namespace tabrix::names
