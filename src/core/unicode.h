// Unicode helpers over UTF-8 text: decoding and encoding code points, the character
// properties the engine needs (answered by ICU), full upper-casing and the quoted form used
// in error messages. Texts come from Python and are valid UTF-8; malformed bytes decode as
// U+FFFD one byte at a time so that no input can read out of bounds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tabrix {

// Decodes the code point starting at byte `i` and advances `i` past it. Requires i < size.
char32_t decode_utf8(std::string_view s, size_t& i);
void append_utf8(std::string& out, char32_t c);
// Number of code points in `s`.
size_t code_point_count(std::string_view s);
// Byte offset of code point number `n` (the size when `n` is past the end).
size_t byte_offset_of(std::string_view s, size_t n);

bool is_white_space(char32_t c);      // Unicode White_Space
bool is_grapheme_extend(char32_t c);  // Grapheme_Extend
bool is_printable(char32_t c);        // not a control, format, separator (but space),
                                      // surrogate, private-use or unassigned character
bool is_alphabetic(char32_t c);       // Unicode Alphabetic
bool is_alphanumeric(char32_t c);     // Alphabetic or numeric (Nd, Nl, No)

// Full Unicode upper-casing ("ß" -> "SS", "ſ" -> "S"). Cannot fail.
std::string to_upper_full(std::string_view s);
// Full Unicode lower-casing with final sigma. Cannot fail.
std::string to_lower_full(std::string_view s);

// The quoted form of a text: "…" with \\ \" \t \r \n \0 escaped and control, non-printable
// and Grapheme_Extend characters written \u{hex}. Cannot fail.
std::string quoted_form(std::string_view s);

}  // namespace tabrix
