// Fuzz target: the WHATWG URL parser, percent-encoding, the UTF-8 readings and the
// form-urlencoded parser, on any bytes. The input is "url" or "base\nrelative".
//
// Invariants checked for every input:
// - A URL that parses re-parses from its serialisation to the same URL; so does a reference
//   resolved against a base, and the serialisation is a fixed point.
// - The serialisation is ASCII.
// - Percent-encoding gives ASCII, and percent_decode(percent_encode(x, set)) == x for every
//   encode set that holds "%".
// - `utf8_decode_lossy` always gives valid UTF-8 and keeps valid UTF-8 unchanged.
// - Form-urlencoded pairs are valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "url/form.h"
#include "url/percent.h"
#include "url/url_parser.h"

namespace tabrix {
namespace {

bool is_ascii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

// Parses `input` (against `base` when given) and checks the round trip of a success.
void check_round_trip(std::string_view input, const url::Url* base) {
  auto parsed = url::parse(input, base);
  if (!parsed.ok()) return;
  const std::string href = parsed->serialize();
  FUZZ_CHECK(is_ascii(href), input);
  auto again = url::parse(href);
  FUZZ_CHECK(again.ok(), input);
  FUZZ_CHECK(again->serialize() == href, input);
  FUZZ_CHECK(again->scheme == parsed->scheme && again->host == parsed->host &&
                 again->port == parsed->port && again->pathname() == parsed->pathname() &&
                 again->query == parsed->query && again->fragment == parsed->fragment,
             input);
}

constexpr url::EncodeSet kSets[] = {
    url::EncodeSet::C0Control,    url::EncodeSet::Fragment,       url::EncodeSet::Query,
    url::EncodeSet::SpecialQuery, url::EncodeSet::Path,           url::EncodeSet::Userinfo,
    url::EncodeSet::Component,    url::EncodeSet::FormUrlencoded, url::EncodeSet::Alphanumeric,
};

void check_encodings(std::string_view text) {
  for (url::EncodeSet set : kSets) {
    std::string encoded = url::percent_encode(text, set);
    FUZZ_CHECK(is_ascii(encoded), text);
    // Sets that leave "%" alone keep escapes already in the text, which decoding then reads.
    if (url::in_encode_set(set, '%')) FUZZ_CHECK(url::percent_decode(encoded) == text, text);
  }
  std::string lossy = url::utf8_decode_lossy(text);
  FUZZ_CHECK(url::is_valid_utf8(lossy), text);
  if (url::is_valid_utf8(text)) FUZZ_CHECK(lossy == text, text);
  for (const auto& [name, value] : url::parse_form_urlencoded(text))
    FUZZ_CHECK(url::is_valid_utf8(name) && url::is_valid_utf8(value), text);
}

}  // namespace
}  // namespace tabrix

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tabrix;
  std::string_view text = fuzz::as_view(data, size);
  check_round_trip(text, nullptr);
  check_encodings(text);
  size_t nl = text.find('\n');
  if (nl != std::string_view::npos) {
    auto base = url::parse(text.substr(0, nl));
    if (base.ok()) check_round_trip(text.substr(nl + 1), &*base);
  }
  return 0;
}
