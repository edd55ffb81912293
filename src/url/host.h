// Hosts of the WHATWG URL Standard: the host parser (domains through UTS #46 domain-to-ASCII,
// IPv4 addresses in all their historical forms, bracketed IPv6 addresses, opaque hosts of
// non-special URLs) and their serialisation.
//
// A parsed host is kept in its serialised form: nothing downstream needs the numbers of an
// address back, and the serialisation is what every accessor returns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/result.h"
#include "url/url_error.h"

namespace tabrix::url {

struct Host {
  enum class Kind : uint8_t { Domain, Ipv4, Ipv6, Opaque, Empty };
  Kind kind = Kind::Empty;
  std::string text;  // serialised: "example.com", "10.0.0.1", "[::1]", "" for Empty

  bool operator==(const Host&) const = default;
};

// The host parser. `input` is the raw host text of the URL (percent-escapes still in it);
// `opaque` is true for non-special URLs, whose hosts are kept as text. Fails with
// InvalidIpv6Address (bad or unclosed brackets), InvalidDomainCharacter (a forbidden host or
// domain code point), InvalidInternationalDomainName (UTS #46 refuses the domain), EmptyHost
// (the domain maps to nothing) or InvalidIpv4Address (the domain ends in a number but is no
// IPv4 address).
Result<Host, ParseError> parse_host(std::string_view input, bool opaque);

// Domain to ASCII of the Standard with beStrict false: UTS #46 ToASCII, non-transitional,
// CheckBidi and CheckJoiners on, STD3 rules off, hyphen and DNS-length errors ignored.
// `domain` is UTF-8 (ill-formed bytes are read as U+FFFD). Fails with
// InvalidInternationalDomainName, or EmptyHost when the result is empty.
Result<std::string, ParseError> domain_to_ascii(std::string_view domain);

// The IPv4 parser: one to four dot-separated numbers in decimal, octal ("0" prefix) or hex
// ("0x" prefix), the last one filling the remaining bytes. Fails with InvalidIpv4Address.
Result<uint32_t, ParseError> parse_ipv4(std::string_view input);

// The IPv6 parser over the text between the brackets, "::" compression and a trailing
// dotted IPv4 part included; the result is the serialised address in brackets with the first
// longest run of zero pieces compressed. Fails with InvalidIpv6Address.
Result<std::string, ParseError> parse_ipv6(std::string_view input);

// "192.168.0.1" for 0xC0A80001. Cannot fail.
std::string serialize_ipv4(uint32_t address);

}  // namespace tabrix::url
