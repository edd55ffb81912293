// The URL parser against the web-platform-tests URL data (urltestdata.json, toascii.json,
// percent-encoding.json), read from the shared test data folder next to the checkout. Each
// entry is checked on its own; a test is skipped when its file is absent.
//
// Deltas that come from the system ICU (72, Unicode 15), whose UTS #46 follows older IDNA rules
// than the data, are listed in kKnownIdnaDeltas with the reason. Their expected results are
// not checked; instead each must still differ, so the list shrinks when ICU catches up.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/unicode.h"
#include "url/form.h"
#include "url/percent.h"
#include "url/url_parser.h"

namespace tabrix::url {
namespace {

// ---- A JSON reader just big enough for the test data ----------------------------------------

struct Json {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::string text;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  const Json* get(std::string_view key) const {
    for (const auto& [k, v] : members)
      if (k == key) return &v;
    return nullptr;
  }
  bool is_null() const { return kind == Kind::Null; }
};

class JsonReader {
 public:
  explicit JsonReader(std::string s) : s_(std::move(s)) {}

  std::optional<Json> read() {
    auto v = value();
    skip_space();
    if (!v || pos_ != s_.size()) return std::nullopt;
    return v;
  }

 private:
  void skip_space() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t'))
      ++pos_;
  }
  bool eat(char c) {
    skip_space();
    if (pos_ < s_.size() && s_[pos_] == c) return ++pos_, true;
    return false;
  }
  bool eat_word(std::string_view w) {
    if (s_.compare(pos_, w.size(), w) != 0) return false;
    pos_ += w.size();
    return true;
  }

  std::optional<Json> value() {
    skip_space();
    if (pos_ >= s_.size()) return std::nullopt;
    Json j;
    char c = s_[pos_];
    if (c == '"') {
      j.kind = Json::Kind::String;
      if (!string(j.text)) return std::nullopt;
    } else if (c == '[') {
      ++pos_;
      j.kind = Json::Kind::Array;
      if (!eat(']')) {
        do {
          auto item = value();
          if (!item) return std::nullopt;
          j.items.push_back(std::move(*item));
        } while (eat(','));
        if (!eat(']')) return std::nullopt;
      }
    } else if (c == '{') {
      ++pos_;
      j.kind = Json::Kind::Object;
      if (!eat('}')) {
        do {
          std::string key;
          skip_space();
          if (!string(key) || !eat(':')) return std::nullopt;
          auto item = value();
          if (!item) return std::nullopt;
          j.members.emplace_back(std::move(key), std::move(*item));
        } while (eat(','));
        if (!eat('}')) return std::nullopt;
      }
    } else if (eat_word("null")) {
    } else if (eat_word("true") || eat_word("false")) {
      j.kind = Json::Kind::Bool;
      j.boolean = s_[pos_ - 1] == 'e' && s_[pos_ - 2] == 'u';
    } else {
      size_t start = pos_;
      while (pos_ < s_.size() &&
             std::string_view("+-.0123456789eE").find(s_[pos_]) != std::string_view::npos)
        ++pos_;
      if (pos_ == start) return std::nullopt;
      j.kind = Json::Kind::Number;
      j.text = s_.substr(start, pos_ - start);
    }
    return j;
  }

  int hex4() {
    if (pos_ + 4 > s_.size()) return -1;
    int v = 0;
    for (int k = 0; k < 4; ++k) {
      char c = s_[pos_++];
      int d = c >= '0' && c <= '9'   ? c - '0'
              : c >= 'a' && c <= 'f' ? c - 'a' + 10
              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                     : -1;
      if (d < 0) return -1;
      v = v * 16 + d;
    }
    return v;
  }

  // A string with its escapes; a lone surrogate becomes U+FFFD, as a browser's USVString
  // conversion does before the URL parser sees the text.
  bool string(std::string& out) {
    if (!eat('"')) return false;
    while (pos_ < s_.size() && s_[pos_] != '"') {
      char c = s_[pos_++];
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= s_.size()) return false;
      char e = s_[pos_++];
      switch (e) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u': {
          int u = hex4();
          if (u < 0) return false;
          char32_t cp = char32_t(u);
          if (u >= 0xD800 && u <= 0xDBFF && s_.compare(pos_, 2, "\\u") == 0) {
            size_t save = pos_;
            pos_ += 2;
            int low = hex4();
            if (low >= 0xDC00 && low <= 0xDFFF) {
              cp = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            } else {
              pos_ = save;
            }
          }
          if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
          append_utf8(out, cp);
          break;
        }
        default:
          out += e;
      }
    }
    return eat('"');
  }

  std::string s_;
  size_t pos_ = 0;
};

std::optional<Json> load(const std::string& name) {
  std::ifstream f(std::string(TABRIX_TESTDATA) + "/wpt/" + name, std::ios::binary);
  if (!f) return std::nullopt;
  std::stringstream ss;
  ss << f.rdbuf();
  return JsonReader(ss.str()).read();
}

#define LOAD_OR_SKIP(var, name)                                                       \
  auto var = load(name);                                                              \
  if (!var) {                                                                         \
    GTEST_SKIP() << "URL test data " name " not found under " TABRIX_TESTDATA "/wpt"; \
  }

// ---- The URL API getters the data is written against -----------------------------------

std::map<std::string, std::string> getters(const Url& u) {
  std::string hostname = u.host ? u.host->text : "";
  std::string port = u.port ? std::to_string(*u.port) : "";
  return {
      {"href", u.serialize()},
      {"protocol", u.scheme + ":"},
      {"username", u.username},
      {"password", u.password},
      {"host", port.empty() ? hostname : hostname + ":" + port},
      {"hostname", hostname},
      {"port", port},
      {"pathname", u.pathname()},
      {"search", u.query && !u.query->empty() ? "?" + *u.query : ""},
      {"hash", u.fragment && !u.fragment->empty() ? "#" + *u.fragment : ""},
  };
}

// The URLSearchParams serialisation of the query's pairs, which the data gives for a few
// entries: a check of the form-urlencoded parser.
std::string search_params(const Url& u) {
  std::string out;
  for (const auto& [name, value] : parse_form_urlencoded(u.query.value_or(""))) {
    if (!out.empty()) out += '&';
    out += percent_encode(name, EncodeSet::FormUrlencoded) + "=" +
           percent_encode(value, EncodeSet::FormUrlencoded);
  }
  for (size_t at; (at = out.find("%20")) != std::string::npos;) out.replace(at, 3, "+");
  return out;
}

// Parses `input` against an optional base text the way `new URL(input, base)` does.
Result<Url, ParseError> parse_with_base(const std::string& input, const Json* base) {
  if (base == nullptr || base->is_null()) return parse(input);
  auto b = parse(base->text);
  if (!b) return b;
  return parse(input, &*b);
}

// ---- Known deltas of ICU 72 against the IDNA rules the data follows ---------------------

struct KnownDelta {
  std::string_view file;
  std::string_view input;
  std::string_view reason;
};

constexpr std::string_view kInvalidPunycode =
    "invalid Punycode in an xn-- label: ICU 72 refuses it, newer UTS #46 keeps the label";
constexpr std::string_view kEmptyPunycode =
    "xn-- label that decodes to nothing: ICU 72 refuses it, newer UTS #46 keeps the label";

const KnownDelta kKnownIdnaDeltas[] = {
    {"urltestdata.json", "http://a.b.c.xn--pokxncvks", kInvalidPunycode},
    {"urltestdata.json", "http://10.0.0.xn--pokxncvks", kInvalidPunycode},
    {"urltestdata.json", "http://a.b.c.XN--pokxncvks", kInvalidPunycode},
    {"urltestdata.json", "http://a.b.c.Xn--pokxncvks", kInvalidPunycode},
    {"urltestdata.json", "http://10.0.0.XN--pokxncvks", kInvalidPunycode},
    {"urltestdata.json", "http://10.0.0.xN--pokxncvks", kInvalidPunycode},
    {"urltestdata.json", "file://xn--/p", kEmptyPunycode},
    {"urltestdata.json", "https://xn--/", kEmptyPunycode},
    {"toascii.json", "xn--a", kInvalidPunycode},
    {"toascii.json", "xn--a.xn--zca", kInvalidPunycode},
    {"toascii.json", "xn--ls8h=", kInvalidPunycode},
    {"toascii.json", "xn--zn7c.com", kInvalidPunycode},
    {"toascii.json", "xn--0.com", kInvalidPunycode},
    {"toascii.json", "xn--1ug.example",
     "decoded label fails ContextJ: ICU 72 refuses it, newer UTS #46 keeps xn-- labels as given"},
    {"toascii.json", "xn--a-yoc",
     "decoded label fails Bidi: ICU 72 refuses it, newer UTS #46 keeps xn-- labels as given"},
    {"toascii.json", "look\u180Eout.net", "U+180E: disallowed in ICU 72, ignored by newer tables"},
    {"toascii.json", "look\u206Bout.net", "U+206B: disallowed in ICU 72, ignored by newer tables"},
    {"toascii.json", "\u04C0.com",
     "U+04C0: disallowed in ICU 72, mapped to U+04CF by newer tables"},
    {"toascii.json", "\U0002F868.com",
     "U+2F868: disallowed in ICU 72, mapped to U+36FC by newer tables"},
    {"toascii.json", "\u2183.com",
     "U+2183: disallowed in ICU 72, mapped to U+2184 by newer tables"},
    {"toascii.json", "\u1E9E.com", "U+1E9E: mapped to \"ss\" by ICU 72, to U+00DF by newer tables"},
    {"toascii.json", "\u1E9E.foo.com",
     "U+1E9E: mapped to \"ss\" by ICU 72, to U+00DF by newer tables"},
};

const KnownDelta* known_delta(std::string_view file, std::string_view input) {
  for (const KnownDelta& d : kKnownIdnaDeltas)
    if (d.file == file && d.input == input) return &d;
  return nullptr;
}

// Compares one entry's results; a known delta must differ instead of agreeing.
void check_entry(std::string_view file, const std::string& input,
                 const std::vector<std::pair<std::string, std::string>>& got_want) {
  const KnownDelta* delta = known_delta(file, input);
  bool agrees = true;
  for (const auto& [got, want] : got_want) agrees = agrees && got == want;
  if (delta != nullptr) {
    EXPECT_FALSE(agrees) << "known delta now agrees, drop it from the list: " << quoted_form(input);
    return;
  }
  for (const auto& [got, want] : got_want) EXPECT_EQ(got, want) << quoted_form(input);
}

std::string href_or_failure(const Result<Url, ParseError>& url) {
  return url ? url->serialize() : "<failure: " + std::string(describe(url.error())) + ">";
}

}  // namespace

// Every entry: a failure is expected to fail, anything else to give the listed getters.
TEST(UrlTestData, UrlTestDataEntries) {
  LOAD_OR_SKIP(data, "urltestdata.json");
  int checked = 0;
  for (const Json& entry : data->items) {
    if (entry.kind != Json::Kind::Object) continue;
    const std::string& input = entry.get("input")->text;
    const Json* base = entry.get("base");
    SCOPED_TRACE(base && !base->is_null() ? "base " + quoted_form(base->text) : "no base");
    auto url = parse_with_base(input, base);
    std::vector<std::pair<std::string, std::string>> got_want;
    if (const Json* f = entry.get("failure"); f && f->boolean) {
      got_want.emplace_back(url ? href_or_failure(url) : "<failure>", "<failure>");
    } else if (!url) {
      got_want.emplace_back(href_or_failure(url), entry.get("href")->text);
    } else {
      for (const auto& [key, value] : getters(*url))
        if (const Json* want = entry.get(key)) got_want.emplace_back(value, want->text);
      if (const Json* want = entry.get("searchParams"))
        got_want.emplace_back(search_params(*url), want->text);
    }
    check_entry("urltestdata.json", input, got_want);
    ++checked;
  }
  EXPECT_GT(checked, 800);
}

// Domain to ASCII as the URL parser applies it: the host of "https://{input}/x", or failure
// where the output is null.
TEST(UrlTestData, ToAsciiEntries) {
  LOAD_OR_SKIP(data, "toascii.json");
  for (const Json& entry : data->items) {
    if (entry.kind != Json::Kind::Object) continue;
    const std::string& input = entry.get("input")->text;
    const Json* output = entry.get("output");
    auto url = parse("https://" + input + "/x");
    std::string want = output->is_null() ? "<failure>" : output->text;
    std::string got = url ? url->host->text : "<failure>";
    std::string path = url ? url->pathname() : "/x";
    check_entry("toascii.json", input, {{got, want}, {path, "/x"}});
  }
}

// The UTF-8 column: query and fragment encode the input the same way.
TEST(UrlTestData, PercentEncodingEntries) {
  LOAD_OR_SKIP(data, "percent-encoding.json");
  for (const Json& entry : data->items) {
    if (entry.kind != Json::Kind::Object) continue;
    const std::string& input = entry.get("input")->text;
    const std::string& want = entry.get("output")->get("utf-8")->text;
    auto url = parse("https://doesnotmatter.invalid/?" + input + "#" + input);
    ASSERT_TRUE(url.ok()) << quoted_form(input);
    EXPECT_EQ(url->query.value_or("<none>"), want) << quoted_form(input);
    EXPECT_EQ(url->fragment.value_or("<none>"), want) << quoted_form(input);
  }
}

}  // namespace tabrix::url
