#include "url/form.h"

#include "url/percent.h"

namespace tabrix::url {
namespace {

// One name or value: "+" is a space, then percent-decoding, then lossy UTF-8.
std::string decode_form_text(std::string_view raw) {
  std::string spaced(raw);
  for (char& c : spaced)
    if (c == '+') c = ' ';
  return utf8_decode_lossy(percent_decode(spaced));
}

}  // namespace

FormPairs parse_form_urlencoded(std::string_view input) {
  FormPairs pairs;
  size_t start = 0;
  while (start <= input.size()) {
    size_t end = input.find('&', start);
    if (end == std::string_view::npos) end = input.size();
    std::string_view piece = input.substr(start, end - start);
    start = end + 1;
    if (piece.empty()) continue;
    size_t eq = piece.find('=');
    std::string_view name = piece.substr(0, eq);
    std::string_view value =
        eq == std::string_view::npos ? std::string_view() : piece.substr(eq + 1);
    pairs.emplace_back(decode_form_text(name), decode_form_text(value));
  }
  return pairs;
}

}  // namespace tabrix::url
