// The URL_* functions called through a registry the way the evaluator calls them, and the
// pack's registration into a registry and onto a sheet.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/registry.h"
#include "url/functions.h"
#include "url/percent.h"

namespace tabrix::url {
namespace {

CellValue S(std::string s) {
  return CellValue::string(std::move(s));
}
CellValue N(double x) {
  return CellValue::number(x);
}
CellValue B(bool b) {
  return CellValue::boolean(b);
}

// "text:...", "number:...", "bool:TRUE", or the error text.
std::string outcome(const CallResult& r) {
  if (!r) return r.error();
  const CellValue& v = *r;
  if (v.is_string()) return "text:" + v.as_string();
  if (v.is_number()) return "number:" + v.display();
  if (v.is_boolean()) return "bool:" + v.display();
  return "other:" + v.display();
}

const Registry& pack() {
  static const Registry registry = [] {
    Registry r;
    EXPECT_TRUE(register_url_functions(r).ok());
    return r;
  }();
  return registry;
}

struct Case {
  const char* function;
  std::vector<CellValue> args;
  std::string want;
};

const double kInf = std::numeric_limits<double>::infinity();
const char* kSegUrl = "http://h/a/b%20c/";
const char* kParamUrl = "http://h/?a=1&b=two+words&a=3";

const std::vector<Case> kCases = {
    // Argument count, then argument kinds, then parsing.
    {"URL_HOST", {}, "#VALUE! URL_HOST: expected 1 arg"},
    {"URL_HOST", {S("http://a/"), S("x")}, "#VALUE! URL_HOST: expected 1 arg"},
    {"URL_JOIN", {S("http://a/")}, "#VALUE! URL_JOIN: expected 2 args"},
    {"URL_PATH_SEGMENT", {N(1)}, "#VALUE! URL_PATH_SEGMENT: expected 2 args"},
    {"URL_HOST", {N(42)}, "#VALUE! URL_HOST: arg #1 must be text"},
    {"URL_HOST", {B(true)}, "#VALUE! URL_HOST: arg #1 must be text"},
    {"URL_HOST", {CellValue::empty()}, "#VALUE! URL_HOST: arg #1 must be text"},
    {"URL_HOST",
     {CellValue::error(FormulaError::div_zero())},
     "#VALUE! URL_HOST: arg #1 must be text"},
    {"URL_HOST", {CellValue::custom("t", "http://a/")}, "#VALUE! URL_HOST: arg #1 must be text"},
    {"URL_HOST", {S("example")}, "#VALUE! URL_HOST: invalid URL (relative URL without a base)"},
    {"URL_HOST", {S("http://a:x/")}, "#VALUE! URL_HOST: invalid URL (invalid port number)"},
    {"URL_SCHEME", {S("")}, "#VALUE! URL_SCHEME: invalid URL (relative URL without a base)"},
    // The parts.
    {"URL_SCHEME", {S("HTTPS://x")}, "text:https"},
    {"URL_HOST", {S("http://Ex.COM/")}, "text:ex.com"},
    {"URL_HOST", {S("http://[::1]:8/")}, "text:[::1]"},
    {"URL_HOST", {S("mailto:a@b")}, "text:"},
    {"URL_HOST", {S("file:///x")}, "text:"},
    {"URL_PORT", {S("http://h:80/")}, "number:0"},
    {"URL_PORT", {S("http://h:8080/")}, "number:8080"},
    {"URL_PORT", {S("sc://h/")}, "number:0"},
    {"URL_PATH", {S("http://h")}, "text:/"},
    {"URL_PATH", {S("http://h/a%20b/../c d")}, "text:/c%20d"},
    {"URL_PATH", {S("mailto:a@b")}, "text:a@b"},
    {"URL_QUERY", {S("http://h/p?q=1#top")}, "text:q=1"},
    {"URL_QUERY", {S("http://h/p")}, "text:"},
    {"URL_FRAGMENT", {S("http://h/p?q=1#top")}, "text:top"},
    {"URL_FRAGMENT", {S("http://h/p")}, "text:"},
    // URL_PATH_SEGMENT: url first, then the index, then its value.
    {"URL_PATH_SEGMENT", {S(kSegUrl), N(1)}, "text:a"},
    {"URL_PATH_SEGMENT", {S(kSegUrl), N(2)}, "text:b c"},
    {"URL_PATH_SEGMENT", {S(kSegUrl), N(-1)}, "text:"},
    {"URL_PATH_SEGMENT", {S(kSegUrl), N(-3)}, "text:a"},
    {"URL_PATH_SEGMENT", {S(kSegUrl), N(4)}, "text:"},
    {"URL_PATH_SEGMENT", {S(kSegUrl), N(-4)}, "text:"},
    {"URL_PATH_SEGMENT", {S(kSegUrl), N(1e300)}, "text:"},
    {"URL_PATH_SEGMENT", {S(kSegUrl), N(-1e300)}, "text:"},
    {"URL_PATH_SEGMENT", {S(kSegUrl), S("2")}, "text:b c"},
    {"URL_PATH_SEGMENT", {S(kSegUrl), B(true)}, "text:a"},
    {"URL_PATH_SEGMENT", {S("mailto:a@b"), N(1)}, "text:"},
    {"URL_PATH_SEGMENT", {S("sc://h"), N(1)}, "text:"},
    {"URL_PATH_SEGMENT",
     {S("http://h/%FF"), N(1)},
     "#VALUE! URL_PATH_SEGMENT: segment is not valid UTF-8"},
    {"URL_PATH_SEGMENT",
     {S(kSegUrl), N(0)},
     "#VALUE! URL_PATH_SEGMENT: index must be a non-zero whole number"},
    {"URL_PATH_SEGMENT",
     {S(kSegUrl), N(1.5)},
     "#VALUE! URL_PATH_SEGMENT: index must be a non-zero whole number"},
    {"URL_PATH_SEGMENT",
     {S(kSegUrl), N(kInf)},
     "#VALUE! URL_PATH_SEGMENT: index must be a non-zero whole number"},
    {"URL_PATH_SEGMENT",
     {S(kSegUrl), N(std::nan(""))},
     "#VALUE! URL_PATH_SEGMENT: index must be a non-zero whole number"},
    {"URL_PATH_SEGMENT", {S(kSegUrl), S("x")}, "#VALUE! URL_PATH_SEGMENT: arg #2 must be a number"},
    {"URL_PATH_SEGMENT",
     {S(kSegUrl), CellValue::empty()},
     "#VALUE! URL_PATH_SEGMENT: arg #2 must be a number"},
    {"URL_PATH_SEGMENT",
     {S("bad"), S("x")},
     "#VALUE! URL_PATH_SEGMENT: invalid URL (relative URL without a base)"},
    {"URL_PATH_SEGMENT", {N(1), S("x")}, "#VALUE! URL_PATH_SEGMENT: arg #1 must be text"},
    // URL_PARAM: the first pair with exactly this decoded name.
    {"URL_PARAM", {S(kParamUrl), S("a")}, "text:1"},
    {"URL_PARAM", {S(kParamUrl), S("b")}, "text:two words"},
    {"URL_PARAM", {S(kParamUrl), S("A")}, "text:"},
    {"URL_PARAM", {S("http://h/?%C3%A9=%E2%82%AC&x"), S("\xC3\xA9")}, "text:\xE2\x82\xAC"},
    {"URL_PARAM", {S("http://h/?k=%FF"), S("k")}, "text:\xEF\xBF\xBD"},
    {"URL_PARAM", {S("http://h/"), S("a")}, "text:"},
    {"URL_PARAM", {S(kParamUrl), N(1)}, "#VALUE! URL_PARAM: arg #2 must be text"},
    {"URL_PARAM", {S("bad"), N(1)}, "#VALUE! URL_PARAM: invalid URL (relative URL without a base)"},
    // URL_VALID: a failure to parse is FALSE, not an error.
    {"URL_VALID", {S("example")}, "bool:FALSE"},
    {"URL_VALID", {S("http://h")}, "bool:TRUE"},
    {"URL_VALID", {S("http://[::1")}, "bool:FALSE"},
    {"URL_VALID", {N(1)}, "#VALUE! URL_VALID: arg #1 must be text"},
    // URL_ENCODE / URL_DECODE.
    {"URL_ENCODE", {S("\xC3\xA9")}, "text:%C3%A9"},
    {"URL_ENCODE", {S("a b&c")}, "text:a%20b%26c"},
    {"URL_ENCODE", {S("-._~Az9")}, "text:%2D%2E%5F%7EAz9"},
    {"URL_ENCODE", {S("")}, "text:"},
    {"URL_DECODE", {S("%C3%A9")}, "text:\xC3\xA9"},
    {"URL_DECODE", {S("a+b%zz%4")}, "text:a+b%zz%4"},
    {"URL_DECODE", {S("%FF")}, "#VALUE! URL_DECODE: result is not valid UTF-8"},
    {"URL_DECODE", {S("%C3")}, "#VALUE! URL_DECODE: result is not valid UTF-8"},
    {"URL_DECODE", {S("%00")}, std::string("text:\0", 6)},
    // URL_JOIN: base parsed before the relative text is read.
    {"URL_JOIN", {S("http://h/a/b"), S("../c")}, "text:http://h/c"},
    {"URL_JOIN", {S("http://h/a/b?q#f"), S("")}, "text:http://h/a/b?q"},
    {"URL_JOIN", {S("http://h/a/b"), S("//x/y")}, "text:http://x/y"},
    {"URL_JOIN", {S("http://h/"), S("mailto:z")}, "text:mailto:z"},
    {"URL_JOIN", {S("mailto:x"), S("#f")}, "text:mailto:x#f"},
    {"URL_JOIN",
     {S("mailto:x"), S("y")},
     "#VALUE! URL_JOIN: relative URL with a cannot-be-a-base base"},
    {"URL_JOIN", {S("http://h/"), S("//[::1")}, "#VALUE! URL_JOIN: invalid IPv6 address"},
    {"URL_JOIN", {S("http://h/"), S("http://")}, "#VALUE! URL_JOIN: empty host"},
    {"URL_JOIN", {S("x"), N(1)}, "#VALUE! URL_JOIN: invalid URL (relative URL without a base)"},
    {"URL_JOIN", {S("http://h/"), N(1)}, "#VALUE! URL_JOIN: arg #2 must be text"},
};

TEST(UrlFunctions, Cases) {
  for (const Case& c : kCases) {
    const CustomFunction* f = pack().find_function(c.function);
    ASSERT_NE(f, nullptr) << c.function;
    std::string args;
    for (const CellValue& a : c.args) args += (args.empty() ? "" : ", ") + a.display();
    EXPECT_EQ(outcome(f->call(c.args)), c.want) << c.function << "(" << args << ")";
  }
}

// Whatever text goes in, every function answers with valid UTF-8 text (Python must be able
// to read it) or a Value error naming the function.
TEST(UrlFunctions, AnyTextGivesUtf8OrValueError) {
  const char* kPieces[] = {"http://h", "/",       "?",   "#",   "=",   "&",  "+",
                           "%",        "%FF",     "%C3", "%A9", "%2e", "..", "a",
                           "\xC3\xA9", "mailto:", "[",   ":",   "@",   " "};
  std::mt19937 rng(7);
  auto random_text = [&] {
    std::string s;
    for (int n = int(rng() % 10); n > 0; --n) s += kPieces[rng() % std::size(kPieces)];
    return s;
  };
  for (int i = 0; i < 3000; ++i) {
    for (const auto& f : pack().functions()) {
      std::string name = f->name();
      Args args = {S(random_text())};
      if (name == "URL_PATH_SEGMENT") args.push_back(N(double(int(rng() % 7) - 3)));
      if (name == "URL_PARAM" || name == "URL_JOIN") args.push_back(S(random_text()));
      auto r = f->call(args);
      if (!r) {
        EXPECT_EQ(r.error().rfind("#VALUE! " + name + ": ", 0), 0u) << r.error();
      } else if (r->is_string()) {
        EXPECT_TRUE(is_valid_utf8(r->as_string())) << name << " " << args[0].as_string();
      }
    }
  }
}

// The failure texts read back into Value errors with the message as detail.
TEST(UrlFunctions, FailuresAreValueErrors) {
  auto r = pack().find_function("url_host")->call({S("example")});
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(FormulaError::from_text(r.error()),
            FormulaError::value("URL_HOST: invalid URL (relative URL without a base)"));
}

TEST(UrlPack, RegistrationOrder) {
  const char* kOrder[] = {"URL_SCHEME",       "URL_HOST",   "URL_PORT",     "URL_PATH",
                          "URL_PATH_SEGMENT", "URL_QUERY",  "URL_FRAGMENT", "URL_PARAM",
                          "URL_VALID",        "URL_ENCODE", "URL_DECODE",   "URL_JOIN"};
  ASSERT_EQ(pack().function_names().size(), std::size(kOrder));
  for (size_t i = 0; i < std::size(kOrder); ++i) EXPECT_EQ(pack().function_names()[i], kOrder[i]);
}

TEST(UrlPack, RegisteringTwiceFailsOnTheFirstName) {
  Registry r;
  ASSERT_TRUE(register_url_functions(r).ok());
  auto again = register_url_functions(r);
  ASSERT_FALSE(again.ok());
  EXPECT_EQ(again.error().display(), "custom function name collides with existing: URL_SCHEME");
  EXPECT_EQ(r.functions().size(), 12u);
}

// A name taken before the pack stops registration there; the functions before it stay.
TEST(UrlPack, StopsAtTheFirstCollision) {
  struct Taken final : CustomFunction {
    std::string name() const override { return "url_param"; }
    CallResult call(const Args&) const override { return CellValue::empty(); }
  };
  Registry r;
  ASSERT_TRUE(r.register_function(std::make_shared<const Taken>()).ok());
  auto status = register_url_functions(r);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().name, "URL_PARAM");
  EXPECT_EQ(r.functions().size(), 1u + 7u);
}

}  // namespace
}  // namespace tabrix::url
