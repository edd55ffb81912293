#include "core/complete.h"

#include <algorithm>

#include "core/builtins.h"
#include "core/lexer.h"
#include "core/unicode.h"

namespace tabrix {

namespace {

bool is_formula(std::string_view formula) {
  return !formula.empty() && formula[0] == '=';
}

// The text after "=" and before the cursor, and the cursor limited to the formula's length.
struct Prefix {
  std::string_view text;
  size_t cursor;
};

// Requires a formula text (starting with "="). Walks only up to the cursor.
Prefix prefix_of(std::string_view formula, size_t cursor) {
  size_t byte = 0, chars = 0;
  while (chars < cursor && byte < formula.size()) {
    decode_utf8(formula, byte);
    ++chars;
  }
  return {byte > 0 ? formula.substr(1, byte - 1) : std::string_view(), chars};
}

// The word being typed at the end of the prefix and where it starts (in formula characters),
// or nothing when no name can be typed there.
struct TypedWord {
  std::string_view text;
  size_t start;
};

std::optional<TypedWord> typed_word(const std::vector<Token>& tokens, const Prefix& prefix) {
  // tokens ends with Eof; the one before it decides.
  if (tokens.size() < 2) return TypedWord{{}, prefix.cursor};
  const Token& last = tokens[tokens.size() - 2];
  switch (last.token_type) {
    case TokenType::Function:
    case TokenType::CellRef: {
      // "+ 1": the prefix is counted after "=". Identifier tokens are ASCII, so the word is
      // the last `length` bytes of the prefix when the token ends at the cursor.
      if (last.position + last.length + 1 != prefix.cursor) return std::nullopt;
      return TypedWord{prefix.text.substr(prefix.text.size() - last.length), last.position + 1};
    }
    case TokenType::Operator:
    case TokenType::LParen:
    case TokenType::LBrace:
    case TokenType::Comma:
    case TokenType::Semicolon:
      return TypedWord{{}, prefix.cursor};
    default:
      return std::nullopt;
  }
}

CompletionItem function_item(const BuiltinEntry& entry) {
  return CompletionItem{CompletionKind::Function, std::string(entry.name),
                        std::string(entry.name) + "(", signature_text(entry),
                        documentation_text(entry)};
}

CompletionItem name_item(std::string upper_name) {
  std::string insert = upper_name;
  return CompletionItem{CompletionKind::Name, std::move(upper_name), std::move(insert),
                        std::string("Named range"), std::nullopt};
}

// One open parenthesis of the walk: the call's name token (null for a plain parenthesis)
// and the commas seen at its level.
struct Group {
  const Token* name;
  size_t commas;
};

std::optional<CallAtCursor> innermost_call(const std::vector<Token>& tokens) {
  std::vector<Group> stack;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    switch (t.token_type) {
      case TokenType::Function:
        if (i + 1 < tokens.size() && tokens[i + 1].token_type == TokenType::LParen) {
          stack.push_back({&t, 0});
          ++i;
        }
        break;
      case TokenType::LParen:
        stack.push_back({nullptr, 0});
        break;
      case TokenType::RParen:
        if (!stack.empty()) stack.pop_back();
        break;
      case TokenType::Comma:
        if (!stack.empty()) ++stack.back().commas;
        break;
      default:
        break;
    }
  }
  for (auto g = stack.rbegin(); g != stack.rend(); ++g)
    if (g->name && !g->name->value.empty()) return CallAtCursor{g->name->value, g->commas};
  return std::nullopt;
}

}  // namespace

std::string_view completion_kind_text(CompletionKind kind) {
  return kind == CompletionKind::Function ? "function" : "name";
}

CompletionList complete(std::string_view formula, size_t cursor,
                        std::span<const std::string_view> names) {
  if (!is_formula(formula)) return CompletionList{{}, cursor, cursor};
  const Prefix prefix = prefix_of(formula, cursor);
  CompletionList out{{}, prefix.cursor, prefix.cursor};
  auto tokens = Lexer(prefix.text).tokenize();
  if (!tokens) return out;
  auto word = typed_word(*tokens, prefix);
  if (!word) return out;

  const std::string upper = to_upper_full(word->text);
  for (const BuiltinEntry& entry : BUILTINS)
    if (entry.name.starts_with(upper)) out.items.push_back(function_item(entry));
  for (std::string_view name : names) {
    std::string upper_name = to_upper_full(name);
    if (upper_name.starts_with(upper)) out.items.push_back(name_item(std::move(upper_name)));
  }
  // std::string compares its bytes as unsigned char, which is UTF-8 code point order.
  std::stable_sort(
      out.items.begin(), out.items.end(),
      [](const CompletionItem& a, const CompletionItem& b) { return a.label < b.label; });
  out.replace_start = word->start;
  return out;
}

std::optional<CallAtCursor> innermost_call_at_cursor(std::string_view formula, size_t cursor) {
  if (!is_formula(formula)) return std::nullopt;
  auto tokens = Lexer(prefix_of(formula, cursor).text).tokenize();
  if (!tokens) return std::nullopt;
  return innermost_call(*tokens);
}

std::optional<SignatureHelp> signature_help(std::string_view formula, size_t cursor) {
  auto call = innermost_call_at_cursor(formula, cursor);
  if (!call) return std::nullopt;
  const BuiltinEntry* entry = find_builtin(call->name);
  if (!entry) return std::nullopt;
  return SignatureHelp{function_info(*entry), call->arg_index};
}

std::optional<SignatureHelp> signature_help_with_registry(const Registry& registry,
                                                          std::string_view formula, size_t cursor) {
  auto call = innermost_call_at_cursor(formula, cursor);
  if (!call) return std::nullopt;
  if (const BuiltinEntry* entry = find_builtin(call->name))
    return SignatureHelp{function_info(*entry), call->arg_index};
  // The registry's own lookup, so that help names the function a call would reach.
  const CustomFunction* fn = registry.find_function(call->name);
  if (!fn) return std::nullopt;
  const auto& functions = registry.functions();
  for (size_t i = 0; i < functions.size(); ++i)
    if (functions[i].get() == fn)
      return SignatureHelp{custom_function_info(registry.function_names()[i]), call->arg_index};
  return std::nullopt;
}

}  // namespace tabrix
