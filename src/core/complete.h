// Completion and signature help: the two questions an editor asks at the cursor while the
// user types a formula. What could be typed here (`complete`: built-in function names and
// the sheet's named ranges matching the word being typed), and which function call is the
// cursor inside and which argument is being typed (`signature_help`).
//
// Both look only at the prefix: the characters after the leading "=" and before the cursor,
// tokenized with the lexer. Every offset, the cursor included, counts characters (code
// points) of the whole formula, "=" being character 0; a cursor past the end counts as the
// end. Nothing here fails: unusable input gives an empty list or no help.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/catalog.h"
#include "core/registry.h"

namespace tabrix {

enum class CompletionKind : uint8_t { Function, Name };

// "function" or "name". Cannot fail.
std::string_view completion_kind_text(CompletionKind kind);

struct CompletionItem {
  CompletionKind kind = CompletionKind::Function;
  std::string label;                         // what the list shows
  std::string insert;                        // replaces [replace_start, replace_end)
  std::optional<std::string> detail;         // signature text, or "Named range"
  std::optional<std::string> documentation;  // description and examples of a function

  bool operator==(const CompletionItem&) const = default;
};

struct CompletionList {
  std::vector<CompletionItem> items;  // sorted by the bytes of their labels
  size_t replace_start = 0;
  size_t replace_end = 0;
};

struct SignatureHelp {
  FunctionInfo function;
  size_t active_param = 0;  // 0-based index of the argument being typed
};

// The innermost function call around the cursor: its name as the lexer gives it (upper
// case) and the index of the argument being typed (the commas before the cursor).
struct CallAtCursor {
  std::string name;
  size_t arg_index = 0;

  bool operator==(const CallAtCursor&) const = default;
};

// The items that could replace the word being typed at the cursor: built-ins whose name
// starts with it (aliases are not offered) and `names` whose upper-cased form does. No items
// for non-formula text (replace range at `cursor` as given), for a prefix the lexer rejects,
// or after a token no name can continue (a number, a string, ")" ...). Cannot fail.
CompletionList complete(std::string_view formula, size_t cursor,
                        std::span<const std::string_view> names);

// The innermost named call whose parentheses hold the cursor; a plain parenthesis is looked
// through and commas inside it count only for it; braces are not groups. None for
// non-formula text, a prefix the lexer rejects, or a cursor outside every call. Cannot fail.
std::optional<CallAtCursor> innermost_call_at_cursor(std::string_view formula, size_t cursor);

// The built-in (by name or alias) of the innermost call and the active argument; none when
// there is no call or the name is not a built-in. Cannot fail.
std::optional<SignatureHelp> signature_help(std::string_view formula, size_t cursor);

// As `signature_help`, and when no built-in matches, the first custom function of `registry`
// whose name equals the call's ignoring ASCII case (its `custom_function_info`). Cannot fail.
std::optional<SignatureHelp> signature_help_with_registry(const Registry& registry,
                                                          std::string_view formula, size_t cursor);

}  // namespace tabrix
