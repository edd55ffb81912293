// Percent-encoding, percent-decoding, the UTF-8 readings of decoded bytes, and the
// application/x-www-form-urlencoded parser.
#include <gtest/gtest.h>

#include <string>

#include "core/unicode.h"
#include "url/form.h"
#include "url/percent.h"

namespace tabrix::url {
namespace {

TEST(UrlPercent, Decode) {
  const std::pair<std::string, std::string> kCases[] = {
      {"a%20b", "a b"},
      {"%C3%a9", "\xC3\xA9"},
      {"%zz%2", "%zz%2"},  // malformed escapes stay
      {"%%41", "%A"},      // the first "%" has no hex digits after it
      {"100%", "100%"},    // a trailing "%" stays
      {"a+b", "a+b"},      // "+" is no space here
      {"%00%FF", std::string("\0\xFF", 2)},
      {"", ""},
  };
  for (const auto& [in, want] : kCases) EXPECT_EQ(percent_decode(in), want) << quoted_form(in);
}

TEST(UrlPercent, EncodeSets) {
  struct Case {
    EncodeSet set;
    std::string in, want;
  };
  const Case kCases[] = {
      {EncodeSet::Alphanumeric, "a b&c", "a%20b%26c"},
      {EncodeSet::Alphanumeric, "-._~09AZaz", "%2D%2E%5F%7E09AZaz"},
      {EncodeSet::Alphanumeric, "\xC3\xA9", "%C3%A9"},
      {EncodeSet::C0Control, std::string("\0\x1F \x7F~", 5), "%00%1F %7F~"},
      {EncodeSet::Fragment, " \"<>`'", "%20%22%3C%3E%60'"},
      {EncodeSet::Query, " \"#<>'`", "%20%22%23%3C%3E'`"},
      {EncodeSet::SpecialQuery, "'", "%27"},
      {EncodeSet::Path, "?^`{}|", "%3F%5E%60%7B%7D|"},
      {EncodeSet::Userinfo, "/:;=@[\\]|", "%2F%3A%3B%3D%40%5B%5C%5D%7C"},
      {EncodeSet::Component, "$%&+,!", "%24%25%26%2B%2C!"},
      {EncodeSet::FormUrlencoded, "!'()~*-._", "%21%27%28%29%7E*-._"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(percent_encode(c.in, c.set), c.want) << quoted_form(c.in) << " set " << int(c.set);
}

TEST(UrlPercent, Utf8Readings) {
  struct Case {
    std::string bytes;
    bool valid;
    std::string lossy;
  };
  const Case kCases[] = {
      {"plain", true, "plain"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", true, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"\xEF\xBB\xBFx", true, "\xEF\xBB\xBFx"},                         // a BOM is kept
      {"\xFF", false, "\xEF\xBF\xBD"},                                  // never a lead byte
      {"\xC0\xAF", false, "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong "/"
      {"\xED\xA0\x80", false, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
      {"\xF4\x90\x80\x80", false,
       "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // past U+10FFFF
      {"\xE2\x82", false, "\xEF\xBF\xBD"},                   // cut short at the end
      {"\xE2\x82x", false, "\xEF\xBF\xBDx"},                 // cut short, then ASCII
      {"\x80x", false, "\xEF\xBF\xBDx"},                     // a stray continuation
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << quoted_form(c.bytes);
    EXPECT_EQ(utf8_decode_lossy(c.bytes), c.lossy) << quoted_form(c.bytes);
  }
}

TEST(UrlForm, Pairs) {
  struct Case {
    std::string query;
    FormPairs want;
  };
  const Case kCases[] = {
      {"a=1&b=two+words&a=3", {{"a", "1"}, {"b", "two words"}, {"a", "3"}}},
      {"&&x&=y&z=", {{"x", ""}, {"", "y"}, {"z", ""}}},
      {"k=a=b", {{"k", "a=b"}}},
      {"%C3%A9=%E2%82%AC%2B", {{"\xC3\xA9", "\xE2\x82\xAC+"}}},
      {"bad=%FF", {{"bad", "\xEF\xBF\xBD"}}},
      {"", {}},
  };
  for (const Case& c : kCases) EXPECT_EQ(parse_form_urlencoded(c.query), c.want) << c.query;
}

}  // namespace
}  // namespace tabrix::url
