// The URL record and the basic URL parser of the WHATWG URL Standard: one pass of the
// Standard's state machine over the input (scheme, authority, host, port, path, query,
// fragment states, with the file-scheme and relative-resolution states), special and
// non-special schemes, opaque paths, and the serialiser. Hosts are parsed in host.h,
// percent-encoding lives in percent.h.
//
// Parsing is linear in the input: the path is a vector of segments, so ".." pops in constant
// time, and every state appends to its output instead of rebuilding it. No state override
// (the setters of the URL API) is implemented; nothing here needs one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"
#include "url/host.h"
#include "url/url_error.h"

namespace tabrix::url {

struct Url {
  std::string scheme;  // lower case, without ":"
  std::string username;
  std::string password;
  std::optional<Host> host;
  std::optional<uint16_t> port;  // none when absent or equal to the scheme's default
  // An opaque path (mailto:x, data:...) is one text; otherwise the path is a list of
  // segments, serialised as "/" before each.
  bool has_opaque_path = false;
  std::string opaque_path;
  std::vector<std::string> path;
  std::optional<std::string> query;     // without "?"
  std::optional<std::string> fragment;  // without "#"

  // One of ftp, file, http, https, ws, wss. Cannot fail.
  bool is_special() const;
  // The path as serialised: the opaque path, or "/" + segment for each segment. Cannot fail.
  std::string pathname() const;
  // The whole URL (the href). Cannot fail.
  std::string serialize() const;
};

// Parses `input` as a URL, resolved against `base` when one is given (a relative reference
// needs one). Fails with the ParseError of the step where the Standard's parser returns
// failure; see url_error.h. Linear in the input length; any text is accepted as input.
Result<Url, ParseError> parse(std::string_view input, const Url* base = nullptr);

// The default port of a special scheme ("http" -> 80); none for file and other schemes.
std::optional<uint16_t> default_port(std::string_view scheme);

}  // namespace tabrix::url
