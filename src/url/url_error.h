// Why a URL failed to parse. Each kind stands for one place where the WHATWG URL parser gives
// up; `describe` gives the text users see inside "URL_HOST: invalid URL (...)".
#pragma once

#include <cstdint>
#include <string_view>

namespace tabrix::url {

enum class ParseError : uint8_t {
  EmptyHost,                         // a special URL or userinfo "@" without a host
  InvalidInternationalDomainName,    // UTS #46 refused the domain
  InvalidPort,                       // a non-digit in the port, or a port above 65535
  InvalidIpv4Address,                // a domain ending in a number that is no IPv4 address
  InvalidIpv6Address,                // bad text inside "[...]" or a missing "]"
  InvalidDomainCharacter,            // a forbidden host or domain code point
  RelativeUrlWithoutBase,            // no scheme and no base to resolve against
  RelativeUrlWithCannotBeABaseBase,  // no scheme and a base with an opaque path
  SetHostOnCannotBeABaseUrl,         // reserved for host setters; the parser never reports it
  Overflow,                          // input past 4 GB, beyond 32-bit offsets
};

// The description of `error`, e.g. "empty host". Cannot fail.
constexpr std::string_view describe(ParseError error) {
  switch (error) {
    case ParseError::EmptyHost:
      return "empty host";
    case ParseError::InvalidInternationalDomainName:
      return "invalid international domain name";
    case ParseError::InvalidPort:
      return "invalid port number";
    case ParseError::InvalidIpv4Address:
      return "invalid IPv4 address";
    case ParseError::InvalidIpv6Address:
      return "invalid IPv6 address";
    case ParseError::InvalidDomainCharacter:
      return "invalid domain character";
    case ParseError::RelativeUrlWithoutBase:
      return "relative URL without a base";
    case ParseError::RelativeUrlWithCannotBeABaseBase:
      return "relative URL with a cannot-be-a-base base";
    case ParseError::SetHostOnCannotBeABaseUrl:
      return "a cannot-be-a-base URL doesn\u2019t have a host to set";
    case ParseError::Overflow:
      return "URLs more than 4 GB are not supported";
  }
  return {};
}

}  // namespace tabrix::url
