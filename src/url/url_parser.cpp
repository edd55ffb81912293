#include "url/url_parser.h"

#include <array>
#include <limits>
#include <utility>

#include "url/percent.h"

namespace tabrix::url {
namespace {

struct SchemeInfo {
  std::string_view name;
  std::optional<uint16_t> default_port;
};

// The special schemes and their default ports.
constexpr std::array<SchemeInfo, 6> kSpecialSchemes = {{
    {"ftp", 21},
    {"file", std::nullopt},
    {"http", 80},
    {"https", 443},
    {"ws", 80},
    {"wss", 443},
}};

const SchemeInfo* find_special(std::string_view scheme) {
  for (const SchemeInfo& s : kSpecialSchemes)
    if (s.name == scheme) return &s;
  return nullptr;
}

constexpr int kEof = -1;

bool is_alpha(int c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_digit(int c) {
  return c >= '0' && c <= '9';
}
char to_lower(int c) {
  return char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (to_lower(static_cast<unsigned char>(a[i])) != to_lower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// "." or "%2e", any case.
bool is_single_dot(std::string_view s) {
  return s == "." || equals_ignoring_ascii_case(s, "%2e");
}

// "..", ".%2e", "%2e." or "%2e%2e", any case.
bool is_double_dot(std::string_view s) {
  return s == ".." || equals_ignoring_ascii_case(s, ".%2e") ||
         equals_ignoring_ascii_case(s, "%2e.") || equals_ignoring_ascii_case(s, "%2e%2e");
}

// "c:" or "c|"; normalized only with ":".
bool is_windows_drive_letter(std::string_view s) {
  return s.size() == 2 && is_alpha(static_cast<unsigned char>(s[0])) &&
         (s[1] == ':' || s[1] == '|');
}
bool is_normalized_windows_drive_letter(std::string_view s) {
  return is_windows_drive_letter(s) && s[1] == ':';
}

// The input with leading and trailing C0 controls and spaces stripped and every ASCII tab
// and newline removed.
std::string preprocess(std::string_view input) {
  size_t begin = 0, end = input.size();
  while (begin < end && static_cast<unsigned char>(input[begin]) <= 0x20) ++begin;
  while (end > begin && static_cast<unsigned char>(input[end - 1]) <= 0x20) --end;
  std::string out;
  out.reserve(end - begin);
  for (size_t i = begin; i < end; ++i)
    if (input[i] != '\t' && input[i] != '\n' && input[i] != '\r') out += input[i];
  return out;
}

enum class State : uint8_t {
  SchemeStart,
  Scheme,
  NoScheme,
  SpecialRelativeOrAuthority,
  PathOrAuthority,
  Relative,
  RelativeSlash,
  SpecialAuthoritySlashes,
  SpecialAuthorityIgnoreSlashes,
  Authority,
  Host,
  Port,
  File,
  FileSlash,
  FileHost,
  PathStart,
  Path,
  OpaquePath,
  Query,
  Fragment,
};

// One run of the basic URL parser. The input is walked byte by byte: every decision of the
// state machine is about ASCII characters, and percent-encoding a code point is the same as
// percent-encoding each of its UTF-8 bytes, so bytes from 0x80 up are simply "other".
class Parser {
 public:
  Parser(std::string input, const Url* base) : in_(std::move(input)), base_(base) {}

  Result<Url, ParseError> run() {
    for (;;) {
      int c = at(ptr_);
      if (!step(c)) return fail(*error_);
      if (ptr_ >= int64_t(in_.size())) break;
      ++ptr_;
    }
    return std::move(url_);
  }

 private:
  int at(int64_t i) const {
    return i >= 0 && i < int64_t(in_.size()) ? static_cast<unsigned char>(in_[size_t(i)]) : kEof;
  }
  bool remaining_starts_with(char ch) const { return at(ptr_ + 1) == ch; }
  // The Windows drive letter test on the input from `ptr_` on: "c:" or "c|" followed by
  // the end or one of / \ ? #.
  bool input_starts_with_windows_drive_letter() const {
    if (!is_alpha(at(ptr_)) || (at(ptr_ + 1) != ':' && at(ptr_ + 1) != '|')) return false;
    int third = at(ptr_ + 2);
    return third == kEof || third == '/' || third == '\\' || third == '?' || third == '#';
  }
  // The end of a host, port or path segment in a URL of this scheme.
  bool ends_component(int c) const {
    return c == kEof || c == '/' || c == '?' || c == '#' || (special_ && c == '\\');
  }
  bool is_slash(int c) const { return c == '/' || (special_ && c == '\\'); }

  bool failure(ParseError e) {
    error_ = e;
    return false;
  }

  void set_scheme(std::string scheme) {
    url_.scheme = std::move(scheme);
    special_ = find_special(url_.scheme) != nullptr;
    file_ = url_.scheme == "file";
  }

  void start_query() {
    url_.query.emplace();
    state_ = State::Query;
  }
  void start_fragment() {
    url_.fragment.emplace();
    state_ = State::Fragment;
  }

  void copy_authority_from_base() {
    url_.username = base_->username;
    url_.password = base_->password;
    url_.host = base_->host;
    url_.port = base_->port;
  }

  // Shorten the path: drop the last segment, but keep a lone drive letter of a file URL.
  void shorten_path() {
    if (file_ && url_.path.size() == 1 && is_normalized_windows_drive_letter(url_.path[0])) return;
    if (!url_.path.empty()) url_.path.pop_back();
  }

  void append_encoded(std::string& out, int c, EncodeSet set) {
    char byte = char(c);
    append_percent_encoded(out, std::string_view(&byte, 1), set);
  }

  bool step(int c) {
    switch (state_) {
      case State::SchemeStart:
        return scheme_start(c);
      case State::Scheme:
        return scheme(c);
      case State::NoScheme:
        return no_scheme(c);
      case State::SpecialRelativeOrAuthority:
        return special_relative_or_authority(c);
      case State::PathOrAuthority:
        return path_or_authority(c);
      case State::Relative:
        return relative(c);
      case State::RelativeSlash:
        return relative_slash(c);
      case State::SpecialAuthoritySlashes:
        return special_authority_slashes(c);
      case State::SpecialAuthorityIgnoreSlashes:
        return special_authority_ignore_slashes(c);
      case State::Authority:
        return authority(c);
      case State::Host:
        return host(c);
      case State::Port:
        return port(c);
      case State::File:
        return file(c);
      case State::FileSlash:
        return file_slash(c);
      case State::FileHost:
        return file_host(c);
      case State::PathStart:
        return path_start(c);
      case State::Path:
        return path(c);
      case State::OpaquePath:
        return opaque_path(c);
      case State::Query:
        return query(c);
      case State::Fragment:
        return fragment(c);
    }
    return true;
  }

  bool scheme_start(int c) {
    if (is_alpha(c)) {
      buffer_ += to_lower(c);
      state_ = State::Scheme;
    } else {
      state_ = State::NoScheme;
      --ptr_;
    }
    return true;
  }

  bool scheme(int c) {
    if (is_alpha(c) || is_digit(c) || c == '+' || c == '-' || c == '.') {
      buffer_ += to_lower(c);
      return true;
    }
    if (c != ':') {
      // Not a scheme after all: start over without one.
      buffer_.clear();
      state_ = State::NoScheme;
      ptr_ = -1;
      return true;
    }
    set_scheme(std::exchange(buffer_, {}));
    if (file_) {
      state_ = State::File;
    } else if (special_ && base_ != nullptr && base_->scheme == url_.scheme) {
      state_ = State::SpecialRelativeOrAuthority;
    } else if (special_) {
      state_ = State::SpecialAuthoritySlashes;
    } else if (remaining_starts_with('/')) {
      state_ = State::PathOrAuthority;
      ++ptr_;
    } else {
      url_.has_opaque_path = true;
      state_ = State::OpaquePath;
    }
    return true;
  }

  bool no_scheme(int c) {
    if (base_ == nullptr) return failure(ParseError::RelativeUrlWithoutBase);
    if (base_->has_opaque_path) {
      if (c != '#') return failure(ParseError::RelativeUrlWithCannotBeABaseBase);
      set_scheme(base_->scheme);
      url_.has_opaque_path = true;
      url_.opaque_path = base_->opaque_path;
      url_.query = base_->query;
      start_fragment();
      return true;
    }
    state_ = base_->scheme == "file" ? State::File : State::Relative;
    --ptr_;
    return true;
  }

  bool special_relative_or_authority(int c) {
    if (c == '/' && remaining_starts_with('/')) {
      state_ = State::SpecialAuthorityIgnoreSlashes;
      ++ptr_;
    } else {
      state_ = State::Relative;
      --ptr_;
    }
    return true;
  }

  bool path_or_authority(int c) {
    if (c == '/') {
      state_ = State::Authority;
    } else {
      state_ = State::Path;
      --ptr_;
    }
    return true;
  }

  bool relative(int c) {
    set_scheme(base_->scheme);
    if (is_slash(c)) {
      state_ = State::RelativeSlash;
      return true;
    }
    copy_authority_from_base();
    url_.path = base_->path;
    url_.query = base_->query;
    if (c == '?') {
      start_query();
    } else if (c == '#') {
      start_fragment();
    } else if (c != kEof) {
      url_.query.reset();
      shorten_path();
      state_ = State::Path;
      --ptr_;
    }
    return true;
  }

  bool relative_slash(int c) {
    if (is_slash(c)) {
      state_ = special_ ? State::SpecialAuthorityIgnoreSlashes : State::Authority;
    } else {
      copy_authority_from_base();
      state_ = State::Path;
      --ptr_;
    }
    return true;
  }

  bool special_authority_slashes(int c) {
    state_ = State::SpecialAuthorityIgnoreSlashes;
    if (c == '/' && remaining_starts_with('/')) {
      ++ptr_;
    } else {
      --ptr_;
    }
    return true;
  }

  bool special_authority_ignore_slashes(int c) {
    if (c != '/' && c != '\\') {
      state_ = State::Authority;
      --ptr_;
    }
    return true;
  }

  bool authority(int c) {
    if (c == '@') {
      // Everything before the last "@" is userinfo; an earlier "@" becomes "%40".
      std::string& first = password_token_seen_ ? url_.password : url_.username;
      if (at_sign_seen_) first += "%40";
      at_sign_seen_ = true;
      for (char b : buffer_) {
        if (b == ':' && !password_token_seen_) {
          password_token_seen_ = true;
          continue;
        }
        append_encoded(password_token_seen_ ? url_.password : url_.username,
                       static_cast<unsigned char>(b), EncodeSet::Userinfo);
      }
      buffer_.clear();
    } else if (ends_component(c)) {
      if (at_sign_seen_ && buffer_.empty()) return failure(ParseError::EmptyHost);
      // Read the same text again as the host.
      ptr_ -= int64_t(buffer_.size()) + 1;
      buffer_.clear();
      state_ = State::Host;
    } else {
      buffer_ += char(c);
    }
    return true;
  }

  bool host(int c) {
    bool port_follows = c == ':' && !inside_brackets_;
    if (!port_follows && !ends_component(c)) {
      if (c == '[') inside_brackets_ = true;
      if (c == ']') inside_brackets_ = false;
      buffer_ += char(c);
      return true;
    }
    if (buffer_.empty() && (port_follows || special_)) return failure(ParseError::EmptyHost);
    auto parsed = parse_host(buffer_, !special_);
    if (!parsed) return failure(parsed.error());
    url_.host = std::move(*parsed);
    buffer_.clear();
    if (port_follows) {
      state_ = State::Port;
    } else {
      state_ = State::PathStart;
      --ptr_;
    }
    return true;
  }

  bool port(int c) {
    if (is_digit(c)) {
      buffer_ += char(c);
      return true;
    }
    if (!ends_component(c)) return failure(ParseError::InvalidPort);
    if (!buffer_.empty()) {
      uint32_t value = 0;
      for (char d : buffer_) {
        value = value * 10 + uint32_t(d - '0');
        if (value > 0xFFFF) return failure(ParseError::InvalidPort);
      }
      const SchemeInfo* info = find_special(url_.scheme);
      if (info != nullptr && info->default_port == value) {
        url_.port.reset();
      } else {
        url_.port = uint16_t(value);
      }
      buffer_.clear();
    }
    state_ = State::PathStart;
    --ptr_;
    return true;
  }

  bool file(int c) {
    set_scheme("file");
    url_.host = Host{};
    if (c == '/' || c == '\\') {
      state_ = State::FileSlash;
      return true;
    }
    if (base_ == nullptr || base_->scheme != "file") {
      state_ = State::Path;
      --ptr_;
      return true;
    }
    url_.host = base_->host;
    url_.path = base_->path;
    url_.query = base_->query;
    if (c == '?') {
      start_query();
    } else if (c == '#') {
      start_fragment();
    } else if (c != kEof) {
      url_.query.reset();
      if (input_starts_with_windows_drive_letter()) {
        url_.path.clear();
      } else {
        shorten_path();
      }
      state_ = State::Path;
      --ptr_;
    }
    return true;
  }

  bool file_slash(int c) {
    if (c == '/' || c == '\\') {
      state_ = State::FileHost;
      return true;
    }
    if (base_ != nullptr && base_->scheme == "file") {
      url_.host = base_->host;
      if (!input_starts_with_windows_drive_letter() && !base_->path.empty() &&
          is_normalized_windows_drive_letter(base_->path[0]))
        url_.path.push_back(base_->path[0]);
    }
    state_ = State::Path;
    --ptr_;
    return true;
  }

  bool file_host(int c) {
    if (!(c == kEof || c == '/' || c == '\\' || c == '?' || c == '#')) {
      buffer_ += char(c);
      return true;
    }
    --ptr_;
    if (is_windows_drive_letter(buffer_)) {
      // "file://c:/" is a path, not a host; the buffer goes on as its first segment.
      state_ = State::Path;
      return true;
    }
    if (buffer_.empty()) {
      url_.host = Host{};
    } else {
      auto parsed = parse_host(buffer_, false);
      if (!parsed) return failure(parsed.error());
      if (parsed->kind == Host::Kind::Domain && parsed->text == "localhost") *parsed = Host{};
      url_.host = std::move(*parsed);
      buffer_.clear();
    }
    state_ = State::PathStart;
    return true;
  }

  bool path_start(int c) {
    if (special_) {
      state_ = State::Path;
      if (c != '/' && c != '\\') --ptr_;
    } else if (c == '?') {
      start_query();
    } else if (c == '#') {
      start_fragment();
    } else if (c != kEof) {
      state_ = State::Path;
      if (c != '/') --ptr_;
    }
    return true;
  }

  bool path(int c) {
    if (!ends_component(c)) {
      append_encoded(buffer_, c, EncodeSet::Path);
      return true;
    }
    bool slash = is_slash(c);
    if (is_double_dot(buffer_)) {
      shorten_path();
      if (!slash) url_.path.emplace_back();
    } else if (is_single_dot(buffer_)) {
      if (!slash) url_.path.emplace_back();
    } else {
      if (file_ && url_.path.empty() && is_windows_drive_letter(buffer_)) buffer_[1] = ':';
      url_.path.push_back(std::move(buffer_));
    }
    buffer_.clear();
    if (c == '?') start_query();
    if (c == '#') start_fragment();
    return true;
  }

  bool opaque_path(int c) {
    if (c == '?') {
      start_query();
    } else if (c == '#') {
      start_fragment();
    } else if (c == ' ') {
      // A space right before "?" or "#" is encoded so the path never ends in a space.
      int next = at(ptr_ + 1);
      url_.opaque_path += next == '?' || next == '#' ? "%20" : " ";
    } else if (c != kEof) {
      append_encoded(url_.opaque_path, c, EncodeSet::C0Control);
    }
    return true;
  }

  bool query(int c) {
    if (c == '#') {
      start_fragment();
    } else if (c != kEof) {
      append_encoded(*url_.query, c, special_ ? EncodeSet::SpecialQuery : EncodeSet::Query);
    }
    return true;
  }

  bool fragment(int c) {
    if (c != kEof) append_encoded(*url_.fragment, c, EncodeSet::Fragment);
    return true;
  }

  std::string in_;
  const Url* base_;
  Url url_;
  State state_ = State::SchemeStart;
  int64_t ptr_ = 0;
  std::string buffer_;
  bool special_ = false;
  bool file_ = false;
  bool at_sign_seen_ = false;
  bool inside_brackets_ = false;
  bool password_token_seen_ = false;
  std::optional<ParseError> error_;
};

}  // namespace

bool Url::is_special() const {
  return find_special(scheme) != nullptr;
}

std::optional<uint16_t> default_port(std::string_view scheme) {
  const SchemeInfo* info = find_special(scheme);
  return info != nullptr ? info->default_port : std::nullopt;
}

std::string Url::pathname() const {
  if (has_opaque_path) return opaque_path;
  std::string out;
  for (const std::string& segment : path) {
    out += '/';
    out += segment;
  }
  return out;
}

std::string Url::serialize() const {
  std::string out = scheme;
  out += ':';
  if (host) {
    out += "//";
    if (!username.empty() || !password.empty()) {
      out += username;
      if (!password.empty()) out += ':', out += password;
      out += '@';
    }
    out += host->text;
    if (port) out += ':', out += std::to_string(*port);
  } else if (!has_opaque_path && path.size() > 1 && path[0].empty()) {
    // Without "/." the path "//x" would read back as a host.
    out += "/.";
  }
  out += pathname();
  if (query) out += '?', out += *query;
  if (fragment) out += '#', out += *fragment;
  return out;
}

Result<Url, ParseError> parse(std::string_view input, const Url* base) {
  if (input.size() > std::numeric_limits<uint32_t>::max()) return fail(ParseError::Overflow);
  return Parser(preprocess(input), base).run();
}

}  // namespace tabrix::url
