// The editor helpers Python cannot reach yet or at all: the catalog and signature help with a
// registry of custom functions, the call finder itself, and token spans over malformed UTF-8.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/catalog.h"
#include "core/complete.h"
#include "core/token_spans.h"

namespace tabrix {
namespace {

class NamedFunction : public CustomFunction {
 public:
  explicit NamedFunction(std::string name) : name_(std::move(name)) {}
  std::string name() const override { return name_; }
  Result<CellValue, std::string> call(const std::vector<CellValue>&) const override {
    return CellValue();
  }

 private:
  std::string name_;
};

Registry registry_with(std::initializer_list<const char*> names) {
  Registry r;
  for (const char* n : names)
    EXPECT_TRUE(r.register_function(std::make_shared<NamedFunction>(n)).ok());
  return r;
}

TEST(Catalog, CustomFunctionsFollowTheBuiltinsInRegistrationOrder) {
  const Registry registry = registry_with({"myfn", "Other"});
  std::vector<FunctionInfo> all = list_functions_with_registry(registry);
  ASSERT_EQ(all.size(), 19u);
  EXPECT_EQ(all.front().name, "SUM");
  EXPECT_EQ(all[16].name, "UNIQUE");
  EXPECT_EQ(all[17], custom_function_info("myfn"));
  EXPECT_EQ(all[18].name, "Other");
  const FunctionInfo& custom = all[17];
  EXPECT_EQ(custom.category, "Custom");
  EXPECT_TRUE(custom.aliases.empty() && custom.params.empty() && custom.examples.empty());
  EXPECT_EQ(custom.variadic, (ParamInfo{"args", "", true}));
  EXPECT_EQ(signature_text(custom), "myfn(args, ...)");
  EXPECT_EQ(documentation_text(custom), "");  // no examples: no "Examples:" block
}

TEST(Catalog, OwnedAndTableTextsAgree) {
  for (const BuiltinEntry& e : BUILTINS) {
    EXPECT_EQ(signature_text(function_info(e)), signature_text(e)) << e.name;
    EXPECT_EQ(documentation_text(function_info(e)), documentation_text(e)) << e.name;
  }
}

struct HelpCase {
  const char* formula;
  size_t cursor;
  std::optional<std::pair<std::string, size_t>> expected;  // name, active parameter
};

TEST(SignatureHelp, WithRegistryFallsBackToCustomFunctions) {
  const Registry registry = registry_with({"myfn", "Other"});
  const HelpCase cases[] = {
      {"=MYFN(1, 2", 10, {{"myfn", 1}}},  // the registered spelling, any case in the formula
      {"=other(", 7, {{"Other", 0}}},           {"=AVG(1, MyFn(", 13, {{"myfn", 0}}},
      {"=AVG(1, MyFn()", 14, {{"AVERAGE", 1}}}, {"=NOPE(1", 7, std::nullopt},
  };
  for (const HelpCase& c : cases) {
    auto help = signature_help_with_registry(registry, c.formula, c.cursor);
    ASSERT_EQ(help.has_value(), c.expected.has_value()) << c.formula;
    if (!help) continue;
    EXPECT_EQ(help->function.name, c.expected->first) << c.formula;
    EXPECT_EQ(help->active_param, c.expected->second) << c.formula;
  }
  EXPECT_FALSE(signature_help("=MYFN(1, 2", 10).has_value());
}

TEST(InnermostCall, WalksTheGroupsBeforeTheCursor) {
  struct Case {
    const char* formula;
    size_t cursor;
    std::optional<CallAtCursor> expected;
  };
  const Case cases[] = {
      {"=F(G(1, 2), (3, 4, 5", 21, CallAtCursor{"F", 1}},
      {"=F(G(1, 2), (3, 4, 5", 9, CallAtCursor{"G", 1}},
      {"=F(G(1, 2), (3, 4, 5", 3, CallAtCursor{"F", 0}},
      {"=F(G(1, 2), (3, 4, 5", 2, std::nullopt},
      {"=F({1, 2; 3, 4}, ", 17, CallAtCursor{"F", 3}},
      {"=F(1))), (G(", 12, CallAtCursor{"G", 0}},  // unmatched ")" pop nothing
      {"=my_fn2(1,", 10, CallAtCursor{"MY_FN2", 1}},
      {"=F(1, !", 7, std::nullopt},  // a lexical error in the prefix
  };
  for (const Case& c : cases)
    EXPECT_EQ(innermost_call_at_cursor(c.formula, c.cursor), c.expected) << c.formula;
}

TEST(TokenSpans, MalformedUtf8CountsOneCharacterPerBadByte) {
  // "\x80" is a stray continuation byte and "\xE2\x82" a truncated sequence: the lexer reads
  // each bad byte as one U+FFFD, and the spans must count the same way.
  const std::string formula = "=\"\x80\"&\xE2\x82";
  std::vector<TokenSpan> expected = {
      {1, 4, TokenSpanKind::String},
      {4, 5, TokenSpanKind::Operator},
      {5, 7, TokenSpanKind::Unknown},
  };
  EXPECT_EQ(formula_tokens(formula), expected);
}

}  // namespace
}  // namespace tabrix
