#include "url/host.h"

#include <unicode/uidna.h>

#include <array>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "url/percent.h"

namespace tabrix::url {
namespace {

bool is_ascii_digit(char c) {
  return c >= '0' && c <= '9';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Forbidden host code points; forbidden domain code points add C0 controls, "%" and DEL.
constexpr std::string_view kForbiddenHost("\0\t\n\r #/:<>?@[\\]^|", 17);

bool is_forbidden_host_byte(unsigned char c) {
  return kForbiddenHost.find(char(c)) != std::string_view::npos;
}

bool is_forbidden_domain_byte(unsigned char c) {
  return is_forbidden_host_byte(c) || c < 0x20 || c == '%' || c == 0x7F;
}

// ---- IPv4 ----------------------------------------------------------------------------------

// Large enough to fail every range check below while keeping the arithmetic in 64 bits.
constexpr uint64_t kIpv4Saturated = uint64_t(1) << 40;

// The IPv4 number parser: decimal, "0x"/"0X" hex or "0"-prefixed octal. Values saturate at
// kIpv4Saturated, which every caller rejects anyway. Nothing for an empty text or a digit
// outside the radix.
std::optional<uint64_t> parse_ipv4_number(std::string_view part) {
  if (part.empty()) return std::nullopt;
  int radix = 10;
  if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
    part.remove_prefix(2);
    radix = 16;
  } else if (part.size() >= 2 && part[0] == '0') {
    part.remove_prefix(1);
    radix = 8;
  }
  uint64_t value = 0;
  for (char c : part) {
    int digit = radix == 16 ? hex_value(c) : is_ascii_digit(c) ? c - '0' : -1;
    if (digit < 0 || digit >= radix) return std::nullopt;
    value = std::min(value * radix + digit, kIpv4Saturated);
  }
  return value;
}

// Splits on "." strictly: "a..b" gives "a", "", "b".
std::vector<std::string_view> split_dots(std::string_view s) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    size_t dot = s.find('.', start);
    parts.push_back(s.substr(start, dot == std::string_view::npos ? dot : dot - start));
    if (dot == std::string_view::npos) return parts;
    start = dot + 1;
  }
}

// The "ends in a number" checker: the last label (ignoring one trailing dot) is all digits
// or a valid IPv4 number.
bool ends_in_a_number(std::string_view domain) {
  if (!domain.empty() && domain.back() == '.') {
    if (domain.size() == 1) return false;
    domain.remove_suffix(1);
  }
  size_t dot = domain.rfind('.');
  std::string_view last = dot == std::string_view::npos ? domain : domain.substr(dot + 1);
  if (last.empty()) return false;
  bool digits = true;
  for (char c : last) digits = digits && is_ascii_digit(c);
  return digits || parse_ipv4_number(last).has_value();
}

// ---- IPv6 ----------------------------------------------------------------------------------

using Ipv6Pieces = std::array<uint16_t, 8>;

// The IPv6 parser of the Standard, reading `in` through a cursor where -1 is the end.
class Ipv6Reader {
 public:
  explicit Ipv6Reader(std::string_view in) : in_(in) {}

  std::optional<Ipv6Pieces> read() {
    Ipv6Pieces address{};
    int piece = 0;
    std::optional<int> compress;
    if (c() == ':') {
      if (at(1) != ':') return std::nullopt;
      pos_ += 2;
      compress = ++piece;
    }
    while (c() != kEof) {
      if (piece == 8) return std::nullopt;
      if (c() == ':') {
        if (compress) return std::nullopt;
        ++pos_;
        compress = ++piece;
        continue;
      }
      unsigned value = 0;
      int length = 0;
      while (length < 4 && c() != kEof && hex_value(char(c())) >= 0) {
        value = value * 16 + hex_value(char(c()));
        ++pos_, ++length;
      }
      if (c() == '.') {
        if (length == 0) return std::nullopt;
        pos_ -= length;
        if (piece > 6 || !read_ipv4_tail(address, piece)) return std::nullopt;
        break;
      }
      if (c() == ':') {
        ++pos_;
        if (c() == kEof) return std::nullopt;
      } else if (c() != kEof) {
        return std::nullopt;
      }
      address[piece++] = uint16_t(value);
    }
    if (compress) {
      int swaps = piece - *compress;
      for (piece = 7; piece != 0 && swaps > 0; --piece, --swaps)
        std::swap(address[piece], address[*compress + swaps - 1]);
    } else if (piece != 8) {
      return std::nullopt;
    }
    return address;
  }

 private:
  static constexpr int kEof = -1;
  int at(size_t k) const {
    return pos_ + k < in_.size() ? static_cast<unsigned char>(in_[pos_ + k]) : kEof;
  }
  int c() const { return at(0); }

  // The dotted IPv4 tail, filling two pieces; advances `piece` past them.
  bool read_ipv4_tail(Ipv6Pieces& address, int& piece) {
    int numbers_seen = 0;
    while (c() != kEof) {
      if (numbers_seen > 0) {
        if (c() != '.' || numbers_seen >= 4) return false;
        ++pos_;
      }
      if (c() == kEof || !is_ascii_digit(char(c()))) return false;
      std::optional<unsigned> part;
      while (c() != kEof && is_ascii_digit(char(c()))) {
        unsigned digit = unsigned(c() - '0');
        if (!part) {
          part = digit;
        } else if (*part == 0) {
          return false;  // no leading zeros
        } else {
          part = *part * 10 + digit;
        }
        if (*part > 255) return false;
        ++pos_;
      }
      address[piece] = uint16_t(address[piece] * 0x100 + *part);
      ++numbers_seen;
      if (numbers_seen == 2 || numbers_seen == 4) ++piece;
    }
    return numbers_seen == 4;
  }

  std::string_view in_;
  size_t pos_ = 0;
};

std::string serialize_ipv6(const Ipv6Pieces& address) {
  // The first longest run of two or more zero pieces is written "::".
  int compress = -1, best = 1;
  for (int i = 0; i < 8;) {
    int j = i;
    while (j < 8 && address[j] == 0) ++j;
    if (j - i > best) compress = i, best = j - i;
    i = j == i ? i + 1 : j;
  }
  static constexpr char kHexLower[] = "0123456789abcdef";
  std::string out = "[";
  for (int i = 0; i < 8; ++i) {
    if (i == compress) {
      out += i == 0 ? "::" : ":";
      i += best - 1;
      continue;
    }
    unsigned v = address[i];
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
      unsigned digit = (v >> shift) & 0xF;
      if (digit != 0 || started || shift == 0) out += kHexLower[digit], started = true;
    }
    if (i != 7) out += ':';
  }
  out += ']';
  return out;
}

// ---- Domains -------------------------------------------------------------------------------

struct IdnaCloser {
  void operator()(UIDNA* p) const { uidna_close(p); }
};

// The one UTS #46 processor, built on first use with the options the URL Standard sets;
// null when ICU cannot build it (missing data), which refuses every non-ASCII domain.
const UIDNA* uts46() {
  static const std::unique_ptr<UIDNA, IdnaCloser> idna = [] {
    UErrorCode status = U_ZERO_ERROR;
    UIDNA* p =
        uidna_openUTS46(UIDNA_CHECK_BIDI | UIDNA_CHECK_CONTEXTJ | UIDNA_NONTRANSITIONAL_TO_ASCII |
                            UIDNA_NONTRANSITIONAL_TO_UNICODE,
                        &status);
    if (U_FAILURE(status)) p = nullptr;
    return std::unique_ptr<UIDNA, IdnaCloser>(p);
  }();
  return idna.get();
}

// Errors the Standard switches off: CheckHyphens and VerifyDnsLength are false.
constexpr uint32_t kIgnoredIdnaErrors =
    UIDNA_ERROR_EMPTY_LABEL | UIDNA_ERROR_LABEL_TOO_LONG | UIDNA_ERROR_DOMAIN_NAME_TOO_LONG |
    UIDNA_ERROR_LEADING_HYPHEN | UIDNA_ERROR_TRAILING_HYPHEN | UIDNA_ERROR_HYPHEN_3_4;

// ASCII with no label starting "xn--": UTS #46 would only lower-case it.
bool is_plain_ascii_domain(std::string_view domain) {
  for (size_t i = 0; i < domain.size(); ++i) {
    if (static_cast<unsigned char>(domain[i]) >= 0x80) return false;
    bool label_start = i == 0 || domain[i - 1] == '.';
    if (label_start && i + 4 <= domain.size() && ascii_lower(domain[i]) == 'x' &&
        ascii_lower(domain[i + 1]) == 'n' && domain[i + 2] == '-' && domain[i + 3] == '-')
      return false;
  }
  return true;
}

std::optional<std::string> icu_to_ascii(std::string_view domain) {
  const UIDNA* idna = uts46();
  if (idna == nullptr || domain.size() > size_t(std::numeric_limits<int32_t>::max() / 4))
    return std::nullopt;
  std::string out(domain.size() + 32, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode status = U_ZERO_ERROR;
    UIDNAInfo info = UIDNA_INFO_INITIALIZER;
    int32_t n = uidna_nameToASCII_UTF8(idna, domain.data(), int32_t(domain.size()), out.data(),
                                       int32_t(out.size()), &info, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR && attempt == 0) {
      out.assign(size_t(n), '\0');
      continue;
    }
    if (U_FAILURE(status) || (info.errors & ~kIgnoredIdnaErrors) != 0) return std::nullopt;
    out.resize(size_t(n));
    return out;
  }
  return std::nullopt;
}

Result<Host, ParseError> parse_opaque_host(std::string_view input) {
  for (char c : input)
    if (is_forbidden_host_byte(static_cast<unsigned char>(c)))
      return fail(ParseError::InvalidDomainCharacter);
  if (input.empty()) return Host{Host::Kind::Empty, {}};
  return Host{Host::Kind::Opaque, percent_encode(input, EncodeSet::C0Control)};
}

}  // namespace

Result<std::string, ParseError> domain_to_ascii(std::string_view domain) {
  std::string result;
  if (is_plain_ascii_domain(domain)) {
    result.reserve(domain.size());
    for (char c : domain) result += ascii_lower(c);
  } else {
    auto mapped = icu_to_ascii(utf8_decode_lossy(domain));
    if (!mapped) return fail(ParseError::InvalidInternationalDomainName);
    result = std::move(*mapped);
  }
  if (result.empty()) return fail(ParseError::EmptyHost);
  return result;
}

Result<uint32_t, ParseError> parse_ipv4(std::string_view input) {
  auto invalid = [] { return fail(ParseError::InvalidIpv4Address); };
  std::vector<std::string_view> parts = split_dots(input);
  if (parts.back().empty() && parts.size() > 1) parts.pop_back();
  if (parts.size() > 4) return invalid();
  std::array<uint64_t, 4> numbers{};
  for (size_t i = 0; i < parts.size(); ++i) {
    auto n = parse_ipv4_number(parts[i]);
    if (!n) return invalid();
    numbers[i] = *n;
  }
  size_t count = parts.size();
  for (size_t i = 0; i + 1 < count; ++i)
    if (numbers[i] > 255) return invalid();
  if (numbers[count - 1] >= (uint64_t(1) << (8 * (5 - count)))) return invalid();
  uint64_t address = numbers[count - 1];
  for (size_t i = 0; i + 1 < count; ++i) address += numbers[i] << (8 * (3 - i));
  return uint32_t(address);
}

Result<std::string, ParseError> parse_ipv6(std::string_view input) {
  auto pieces = Ipv6Reader(input).read();
  if (!pieces) return fail(ParseError::InvalidIpv6Address);
  return serialize_ipv6(*pieces);
}

std::string serialize_ipv4(uint32_t address) {
  std::string out;
  for (int shift = 24; shift >= 0; shift -= 8) {
    out += std::to_string((address >> shift) & 0xFF);
    if (shift != 0) out += '.';
  }
  return out;
}

Result<Host, ParseError> parse_host(std::string_view input, bool opaque) {
  if (!input.empty() && input.front() == '[') {
    if (input.size() < 2 || input.back() != ']') return fail(ParseError::InvalidIpv6Address);
    auto v6 = parse_ipv6(input.substr(1, input.size() - 2));
    if (!v6) return fail(v6.error());
    return Host{Host::Kind::Ipv6, std::move(*v6)};
  }
  if (opaque) return parse_opaque_host(input);
  if (input.empty()) return fail(ParseError::EmptyHost);
  auto ascii = domain_to_ascii(percent_decode(input));
  if (!ascii) return fail(ascii.error());
  for (char c : *ascii)
    if (is_forbidden_domain_byte(static_cast<unsigned char>(c)))
      return fail(ParseError::InvalidDomainCharacter);
  if (ends_in_a_number(*ascii)) {
    auto v4 = parse_ipv4(*ascii);
    if (!v4) return fail(v4.error());
    return Host{Host::Kind::Ipv4, serialize_ipv4(*v4)};
  }
  return Host{Host::Kind::Domain, std::move(*ascii)};
}

}  // namespace tabrix::url
