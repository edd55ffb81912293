// Percent-encoding and percent-decoding as the WHATWG URL Standard defines them, plus the two
// UTF-8 readings their results need: a strict validity check (URL_DECODE, URL_PATH_SEGMENT
// refuse bytes that are not UTF-8) and the lossy "UTF-8 decode without BOM" of the Encoding
// Standard (hosts and form-urlencoded pairs turn bad bytes into U+FFFD).
//
// Every function works on bytes: a code point outside ASCII is encoded as each of its UTF-8
// bytes, which is what the Standard's "UTF-8 percent-encode" does code point by code point.
#pragma once

#include <string>
#include <string_view>

namespace tabrix::url {

// The percent-encode sets of the Standard and the one URL_ENCODE uses. Every set holds all
// bytes from 0x80 up, so only the ASCII members differ.
enum class EncodeSet : unsigned char {
  C0Control,       // C0 controls and everything above U+007E
  Fragment,        // + space " < > `
  Query,           // C0 + space " # < >
  SpecialQuery,    // Query + '
  Path,            // Query + ? ^ ` { }
  Userinfo,        // Path + / : ; = @ [ \ ] ^ |
  Component,       // Userinfo + $ % & + ,
  FormUrlencoded,  // Component + ! ' ( ) ~
  Alphanumeric,    // everything but ASCII letters and digits (URL_ENCODE)
};

// True when `byte` must be written as "%XX" under `set`. Cannot fail.
bool in_encode_set(EncodeSet set, unsigned char byte);

// Appends `bytes` to `out`, writing each byte of `set` as "%" and two upper-case hex digits.
// Cannot fail.
void append_percent_encoded(std::string& out, std::string_view bytes, EncodeSet set);
std::string percent_encode(std::string_view bytes, EncodeSet set);

// Replaces every "%" followed by two hex digits with that byte; everything else, malformed
// escapes such as "%zz" or a trailing "%" included, is kept. Cannot fail.
std::string percent_decode(std::string_view text);

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF). Cannot fail.
bool is_valid_utf8(std::string_view bytes);

// UTF-8 decode without BOM: well-formed sequences are kept, each maximal ill-formed subpart
// becomes U+FFFD; a leading BOM is kept too. The result is always valid UTF-8. Cannot fail.
std::string utf8_decode_lossy(std::string_view bytes);

}  // namespace tabrix::url
