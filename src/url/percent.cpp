#include "url/percent.h"

#include "core/unicode.h"

#include <array>
#include <cstdint>

namespace tabrix::url {
namespace {

// The ASCII members of one encode set as a 128-bit mask; bytes from 0x80 up are always in.
struct AsciiMask {
  uint64_t lo = 0, hi = 0;
  constexpr void add(unsigned c) { (c < 64 ? lo : hi) |= uint64_t(1) << (c % 64); }
  constexpr bool has(unsigned c) const { return ((c < 64 ? lo : hi) >> (c % 64)) & 1; }
};

constexpr AsciiMask extend(AsciiMask base, std::string_view extra) {
  for (char c : extra) base.add(static_cast<unsigned char>(c));
  return base;
}

constexpr AsciiMask c0_control_mask() {
  AsciiMask m;
  for (unsigned c = 0; c < 0x20; ++c) m.add(c);
  m.add(0x7F);
  return m;
}

constexpr AsciiMask alphanumeric_mask() {
  AsciiMask m;
  for (unsigned c = 0; c < 128; ++c) {
    bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!alnum) m.add(c);
  }
  return m;
}

// One row per EncodeSet, in the order of the enum; each set is spelled as the Standard
// spells it: the set it extends plus a few characters.
constexpr AsciiMask kC0 = c0_control_mask();
constexpr AsciiMask kQuery = extend(kC0, " \"#<>");
constexpr AsciiMask kPath = extend(kQuery, "?^`{}");
constexpr AsciiMask kUserinfo = extend(kPath, "/:;=@[\\]^|");
constexpr AsciiMask kComponent = extend(kUserinfo, "$%&+,");
constexpr std::array<AsciiMask, 9> kSets = {
    kC0,
    extend(kC0, " \"<>`"),
    kQuery,
    extend(kQuery, "'"),
    kPath,
    kUserinfo,
    kComponent,
    extend(kComponent, "!'()~"),
    alphanumeric_mask(),
};
static_assert(kSets.size() == size_t(EncodeSet::Alphanumeric) + 1);

constexpr char kHexUpper[] = "0123456789ABCDEF";

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The UTF-8 decoder of the Encoding Standard. Calls `emit(code_point)` for each decoded
// code point and `emit(0xFFFD)` for each maximal ill-formed subpart; returns false when any
// replacement happened.
template <class Emit>
bool decode_utf8_bytes(std::string_view bytes, Emit&& emit) {
  bool valid = true;
  uint32_t cp = 0;
  int needed = 0, seen = 0;
  unsigned lower = 0x80, upper = 0xBF;
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned b = static_cast<unsigned char>(bytes[i]);
    if (needed == 0) {
      if (b < 0x80) {
        emit(b);
      } else if (b >= 0xC2 && b <= 0xDF) {
        needed = 1, cp = b & 0x1F;
      } else if (b >= 0xE0 && b <= 0xEF) {
        if (b == 0xE0) lower = 0xA0;
        if (b == 0xED) upper = 0x9F;
        needed = 2, cp = b & 0x0F;
      } else if (b >= 0xF0 && b <= 0xF4) {
        if (b == 0xF0) lower = 0x90;
        if (b == 0xF4) upper = 0x8F;
        needed = 3, cp = b & 0x07;
      } else {
        emit(0xFFFD), valid = false;
      }
      continue;
    }
    if (b < lower || b > upper) {
      // The byte ends the broken sequence and is read again as a fresh start.
      cp = 0, needed = seen = 0, lower = 0x80, upper = 0xBF;
      emit(0xFFFD), valid = false;
      --i;
      continue;
    }
    lower = 0x80, upper = 0xBF;
    cp = (cp << 6) | (b & 0x3F);
    if (++seen == needed) {
      emit(cp);
      cp = 0, needed = seen = 0;
    }
  }
  if (needed != 0) emit(0xFFFD), valid = false;
  return valid;
}

}  // namespace

bool in_encode_set(EncodeSet set, unsigned char byte) {
  return byte >= 0x80 || kSets[size_t(set)].has(byte);
}

void append_percent_encoded(std::string& out, std::string_view bytes, EncodeSet set) {
  const AsciiMask& mask = kSets[size_t(set)];
  for (char ch : bytes) {
    unsigned char b = static_cast<unsigned char>(ch);
    if (b < 0x80 && !mask.has(b)) {
      out += ch;
    } else {
      out += '%';
      out += kHexUpper[b >> 4];
      out += kHexUpper[b & 0xF];
    }
  }
}

std::string percent_encode(std::string_view bytes, EncodeSet set) {
  std::string out;
  out.reserve(bytes.size());
  append_percent_encoded(out, bytes, set);
  return out;
}

std::string percent_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    int hi, lo;
    if (text[i] == '%' && i + 2 < text.size() && (hi = hex_value(text[i + 1])) >= 0 &&
        (lo = hex_value(text[i + 2])) >= 0) {
      out += char(hi * 16 + lo);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool is_valid_utf8(std::string_view bytes) {
  return decode_utf8_bytes(bytes, [](uint32_t) {});
}

std::string utf8_decode_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  decode_utf8_bytes(bytes, [&](uint32_t c) { append_utf8(out, char32_t(c)); });
  return out;
}

}  // namespace tabrix::url
