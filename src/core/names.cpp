#include "core/names.h"

#include <algorithm>
#include <cmath>

#include "core/builtins.h"
#include "core/lexer.h"
#include "core/parser.h"
#include "core/sheet.h"
#include "core/unicode.h"

namespace tabrix {
namespace names {

Result<AstNode, std::string> parse_definition(std::string_view text) {
  if (!text.empty() && text[0] == '=') return Parser::parse(text);
  if (auto x = parse_number(text); x && std::isfinite(*x)) return AstNode(AstNode::Number{*x});
  return AstNode(AstNode::String{std::string(text)});
}

Result<AstNode, std::string> resolve_names(AstNode tree, const OrderedMap<std::string>& names) {
  // One frame per name being expanded: the nodes still to visit inside its definition. The
  // outermost frame is the formula itself.
  struct Frame {
    std::string name;
    std::vector<AstNode*> pending;
  };
  std::vector<Frame> frames;
  frames.push_back({"", {&tree}});
  std::vector<std::string> visiting;  // copies: frames move when their vector grows
  std::vector<AstNode*> children;
  size_t expanded = 0;  // nodes visited inside definitions
  while (!frames.empty()) {
    if (frames.back().pending.empty()) {
      if (!frames.back().name.empty()) visiting.pop_back();
      frames.pop_back();
      continue;
    }
    AstNode* node = frames.back().pending.back();
    frames.back().pending.pop_back();
    if (frames.size() > 1 && ++expanded > kMaxExpandedNodes)
      return fail(std::string("#VALUE! names expand too far"));
    if (auto* name = node->get_if<AstNode::Name>()) {
      const std::string* definition = names.find(name->name);
      if (!definition) return fail(std::string("#NAME?"));
      if (std::find(visiting.begin(), visiting.end(), name->name) != visiting.end())
        return fail(std::string("#CIRCULAR!"));
      if (frames.size() > kMaxNameNesting)
        return fail(std::string("#VALUE! names nested too deeply"));
      auto parsed = parse_definition(*definition);
      if (!parsed) return fail(std::move(parsed.error()));
      std::string key = name->name;
      *node = std::move(*parsed);  // the Name node becomes the definition's root
      visiting.push_back(key);
      frames.push_back({std::move(key), {node}});
      continue;
    }
    children.clear();
    for_each_child(*node, [&](AstPtr& c) { children.push_back(c.get()); });
    auto& pending = frames.back().pending;
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
  return tree;
}

std::optional<std::string> validate_name(std::string_view name) {
  auto invalid = [&](std::string_view why) {
    return "Invalid name " + quoted_form(name) + ": " + std::string(why);
  };
  auto is_letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (name.empty()) return "Name must not be empty";
  if (!is_letter(name[0]) && name[0] != '_')
    return invalid("must start with a letter or underscore");
  for (char c : name.substr(1))
    if (!is_letter(c) && !(c >= '0' && c <= '9') && c != '_')
      return invalid("only letters, digits, and underscores allowed");
  std::string upper = to_upper_full(name);
  auto tokens = Lexer(upper).tokenize();
  if (tokens && !tokens->empty()) {
    TokenType first = tokens->front().token_type;
    if (first == TokenType::Boolean) return invalid("shadows a boolean literal");
    if (first == TokenType::CellRef) return invalid("looks like a cell reference");
  }
  if (find_builtin(upper)) return invalid("shadows a built-in function");
  return std::nullopt;
}

}  // namespace names

SheetStatus Sheet::set_name(std::string_view name, std::string definition) {
  if (auto message = names::validate_name(name)) return SheetError::bad_name(std::move(*message));
  if (!definition.empty() && definition[0] == '=') {
    auto parsed = Parser::parse(definition);
    if (!parsed) return SheetError::bad_definition(std::move(parsed.error()));
  }
  names_.set(to_upper_full(name), std::move(definition));
  return recalculate();
}

SheetStatus Sheet::remove_name(std::string_view name) {
  names_.erase(to_upper_full(name));
  return recalculate();
}

const std::string* Sheet::get_name(std::string_view name) const {
  return names_.find(to_upper_full(name));
}

}  // namespace tabrix
