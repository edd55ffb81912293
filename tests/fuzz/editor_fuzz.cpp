// Fuzz target: the editor helpers — token classification, completion and signature help —
// on any formula text, with the cursor read from the input's first line (see
// fuzz_support.h): "cursor\n=formula".
//
// Invariants checked for every input:
// - `formula_tokens` covers every character after "=" exactly once: non-empty spans in order,
//   without gaps, from 1 to the end; white-space spans hold only white space; an "unknown"
//   span comes last and exists exactly when the lexer stopped at an error.
// - `complete` and `innermost_call_at_cursor` look only at the prefix before the cursor: the
//   formula cut at the cursor gives the same answers. The replace range ends at the cursor
//   (limited to the text); items are sorted by label, extend the word being replaced, and a
//   function's insert text is its label and "(".
// - `signature_help` names the innermost call's function (by name or alias) with its
//   argument index; with an empty registry `signature_help_with_registry` agrees.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/complete.h"
#include "core/lexer.h"
#include "core/registry.h"
#include "core/token_spans.h"
#include "core/unicode.h"
#include "fuzz_support.h"

namespace tabrix {
namespace {

bool is_formula(std::string_view s) {
  return !s.empty() && s[0] == '=';
}

bool all_white_space(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
  });
}

// The code points [from, to) of `text`.
std::string_view slice(std::string_view text, size_t from, size_t to) {
  size_t b = byte_offset_of(text, from);
  return text.substr(b, byte_offset_of(text, to) - b);
}

void check_token_spans(std::string_view f) {
  std::vector<TokenSpan> spans = formula_tokens(f);
  const size_t n = fuzz::decoded_length(f);
  if (!is_formula(f) || n == 1) {
    FUZZ_CHECK(spans.empty(), f);
    return;
  }
  size_t at = 1;
  for (size_t i = 0; i < spans.size(); ++i) {
    const TokenSpan& s = spans[i];
    FUZZ_CHECK(s.start == at && s.end > s.start, f);
    if (s.kind == TokenSpanKind::Whitespace)
      FUZZ_CHECK(all_white_space(slice(f, s.start, s.end)), f);
    if (s.kind == TokenSpanKind::Unknown) FUZZ_CHECK(i + 1 == spans.size(), f);
    at = s.end;
  }
  FUZZ_CHECK(at == n, f);
  const bool stopped = Lexer(f.substr(1)).tokenize_partial().error_position.has_value();
  FUZZ_CHECK(stopped == (spans.back().kind == TokenSpanKind::Unknown), f);
}

constexpr std::string_view kNames[] = {"TAX_RATE", "rate", "Sumo", "straße", "A1X"};

bool same(const CompletionList& a, const CompletionList& b) {
  return a.items == b.items && a.replace_start == b.replace_start && a.replace_end == b.replace_end;
}

void check_completion(std::string_view f, size_t cursor) {
  CompletionList list = complete(f, cursor, kNames);
  if (!is_formula(f)) {
    FUZZ_CHECK(list.items.empty() && list.replace_start == cursor && list.replace_end == cursor, f);
    return;
  }
  const size_t n = fuzz::decoded_length(f);
  const size_t end = std::min(cursor, n);
  FUZZ_CHECK(list.replace_start <= list.replace_end && list.replace_end == end, f);
  const std::string word = to_upper_full(slice(f, list.replace_start, list.replace_end));
  for (size_t i = 0; i < list.items.size(); ++i) {
    const CompletionItem& item = list.items[i];
    FUZZ_CHECK(std::string_view(item.label).starts_with(word), f);
    if (i > 0) FUZZ_CHECK(list.items[i - 1].label <= item.label, f);
    if (item.kind == CompletionKind::Function) FUZZ_CHECK(item.insert == item.label + "(", f);
    if (item.kind == CompletionKind::Name) FUZZ_CHECK(item.insert == item.label, f);
  }
  // The cut keeps the "=" even for a cursor at 0, so that the text stays a formula.
  FUZZ_CHECK(same(complete(slice(f, 0, std::max<size_t>(end, 1)), end, kNames), list), f);
}

void check_signature(std::string_view f, size_t cursor) {
  auto call = innermost_call_at_cursor(f, cursor);
  auto help = signature_help(f, cursor);
  const size_t end = std::min(cursor, fuzz::decoded_length(f));
  if (is_formula(f))
    FUZZ_CHECK(innermost_call_at_cursor(slice(f, 0, std::max<size_t>(end, 1)), end) == call, f);
  if (!call) {
    FUZZ_CHECK(!help, f);
    return;
  }
  FUZZ_CHECK(!call->name.empty(), f);
  if (help) {
    const FunctionInfo& info = help->function;
    FUZZ_CHECK(help->active_param == call->arg_index, f);
    FUZZ_CHECK(info.name == call->name || std::find(info.aliases.begin(), info.aliases.end(),
                                                    call->name) != info.aliases.end(),
               f);
  }
  static const Registry empty;
  auto with_registry = signature_help_with_registry(empty, f, cursor);
  FUZZ_CHECK(with_registry.has_value() == help.has_value(), f);
  if (help) FUZZ_CHECK(with_registry->function == help->function, f);
}

}  // namespace
}  // namespace tabrix

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tabrix;
  fuzz::Header h = fuzz::read_header(fuzz::as_view(data, size), 1);
  const size_t cursor = h.numbers.empty() ? h.text.size() : size_t(h.u32(0));
  check_token_spans(h.text);
  check_completion(h.text, cursor);
  check_signature(h.text, cursor);
  return 0;
}
