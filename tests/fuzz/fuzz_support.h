// Helpers shared by the fuzz targets: a check that turns a broken invariant into a crash
// libFuzzer reports (with the input saved as an artifact), and a reader for the small text
// header through which targets take numeric arguments besides a formula.
//
// Input layout of targets with arguments: the first line holds the numbers, separated by
// anything that is not a digit or "-"; the rest of the input after the first "\n" is the
// text under test. Missing numbers read as 0, so every input is usable and the seeds stay
// readable ("1 0 4\n=SUM(A1:B5)").
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/unicode.h"

namespace tabrix::fuzz {

// Reports a broken invariant and aborts, so libFuzzer keeps the input that broke it.
[[noreturn]] inline void invariant_failed(const char* what, const char* file, int line,
                                          std::string_view input) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\ninput: \"", file, line, what);
  for (unsigned char c : input) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\')
      std::fputc(c, stderr);
    else
      std::fprintf(stderr, "\\x%02X", c);
  }
  std::fputs("\"\n", stderr);
  std::abort();
}

#define FUZZ_CHECK(cond, input) \
  ((cond) ? void(0) : ::tabrix::fuzz::invariant_failed(#cond, __FILE__, __LINE__, (input)))

// The numbers of the first line and the text after it.
struct Header {
  std::vector<int64_t> numbers;
  std::string_view text;

  // The i-th number (0 when absent) reduced to the width of a 32-bit unsigned or signed
  // argument; wrapping keeps small and boundary values (-1 is 4294967295) reachable.
  uint32_t u32(size_t i) const { return static_cast<uint32_t>(at(i)); }
  int32_t i32(size_t i) const { return static_cast<int32_t>(static_cast<uint32_t>(at(i))); }
  int64_t at(size_t i) const { return i < numbers.size() ? numbers[i] : 0; }
};

// Reads at most `max_numbers` numbers from the first line. Digits beyond 18 are dropped so
// that no overflow occurs while reading. Cannot fail.
inline Header read_header(std::string_view data, size_t max_numbers) {
  Header h;
  size_t nl = data.find('\n');
  std::string_view line = data.substr(0, nl);
  h.text = nl == std::string_view::npos ? std::string_view() : data.substr(nl + 1);
  size_t i = 0;
  while (i < line.size() && h.numbers.size() < max_numbers) {
    bool negative = line[i] == '-';
    size_t j = i + (negative ? 1 : 0);
    if (j >= line.size() || line[j] < '0' || line[j] > '9') {
      ++i;
      continue;
    }
    int64_t value = 0;
    size_t digits = 0;
    for (; j < line.size() && line[j] >= '0' && line[j] <= '9'; ++j)
      if (digits++ < 18) value = value * 10 + (line[j] - '0');
    h.numbers.push_back(negative ? -value : value);
    i = j;
  }
  return h;
}

// Code points as the engine's decoder reads them (`decode_utf8`: a malformed byte is one
// U+FFFD). `code_point_count` counts lead bytes instead, which agrees on well-formed text only.
inline size_t decoded_length(std::string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++n) decode_utf8(s, i);
  return n;
}

// The fuzz input as text.
inline std::string_view as_view(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace tabrix::fuzz
