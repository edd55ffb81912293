#include "core/unicode.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <cstdio>

namespace tabrix {

char32_t decode_utf8(std::string_view s, size_t& i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
  if (len == 0 || b0 > 0xF4 || i + len > s.size()) {
    ++i;
    return 0xFFFD;
  }
  char32_t c = b0 & (0x7F >> len);
  for (int k = 1; k < len; ++k) {
    unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    c = (c << 6) | (b & 0x3F);
  }
  i += len;
  return c;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

size_t code_point_count(std::string_view s) {
  size_t n = 0;
  for (unsigned char b : s)
    if ((b & 0xC0) != 0x80) ++n;
  return n;
}

size_t byte_offset_of(std::string_view s, size_t n) {
  size_t i = 0;
  while (i < s.size() && n > 0) {
    decode_utf8(s, i);
    --n;
  }
  return i;
}

bool is_white_space(char32_t c) {
  if (c < 0x80) return c == ' ' || (c >= 0x09 && c <= 0x0D);
  return u_hasBinaryProperty(UChar32(c), UCHAR_WHITE_SPACE);
}

bool is_grapheme_extend(char32_t c) {
  return c >= 0x300 && u_hasBinaryProperty(UChar32(c), UCHAR_GRAPHEME_EXTEND);
}

bool is_printable(char32_t c) {
  if (c == ' ') return true;
  switch (u_charType(UChar32(c))) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_SURROGATE:
    case U_PRIVATE_USE_CHAR:
    case U_UNASSIGNED:
    case U_SPACE_SEPARATOR:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
      return false;
    default:
      return true;
  }
}

bool is_alphabetic(char32_t c) {
  if (c < 0x80) return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
  return u_hasBinaryProperty(UChar32(c), UCHAR_ALPHABETIC);
}

bool is_alphanumeric(char32_t c) {
  if (c < 0x80) return is_alphabetic(c) || (c >= '0' && c <= '9');
  if (is_alphabetic(c)) return true;
  switch (u_charType(UChar32(c))) {
    case U_DECIMAL_DIGIT_NUMBER:
    case U_LETTER_NUMBER:
    case U_OTHER_NUMBER:
      return true;
    default:
      return false;
  }
}

namespace {

bool is_ascii(std::string_view s) {
  for (unsigned char b : s)
    if (b >= 0x80) return false;
  return true;
}

}  // namespace

std::string to_upper_full(std::string_view s) {
  if (is_ascii(s)) {
    std::string out(s);
    for (char& c : out)
      if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return out;
  }
  std::string out;
  icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), int32_t(s.size())))
      .toUpper(icu::Locale::getRoot())
      .toUTF8String(out);
  return out;
}

std::string to_lower_full(std::string_view s) {
  if (is_ascii(s)) {
    std::string out(s);
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
  }
  std::string out;
  icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), int32_t(s.size())))
      .toLower(icu::Locale::getRoot())
      .toUTF8String(out);
  return out;
}

std::string quoted_form(std::string_view s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size();) {
    char32_t c = decode_utf8(s, i);
    switch (c) {
      case '\\':
        out += "\\\\";
        continue;
      case '"':
        out += "\\\"";
        continue;
      case '\t':
        out += "\\t";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '\0':
        out += "\\0";
        continue;
      default:
        break;
    }
    if (!is_printable(c) || is_grapheme_extend(c)) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "\\u{%x}", unsigned(c));
      out += buf;
    } else {
      append_utf8(out, c);
    }
  }
  out += '"';
  return out;
}

}  // namespace tabrix
