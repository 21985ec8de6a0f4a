#pragma once

#include <array>
#include <cstdint>

// What each byte of VRML text is to the parser, and the scans over blanks that every list
// reader shares.
namespace kernelcad::vrml {

enum CharClass : std::uint8_t { kSpace = 1, kBinary = 2, kWord = 4, kNumStart = 8 };

constexpr std::array<std::uint8_t, 256> MakeClasses() {
  std::array<std::uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) {
    std::uint8_t v = 0;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '\f' || c == '\v') {
      v = kSpace;
    } else if (c < 0x20 || c == 0x7f) {
      v = kBinary;
    } else if (c != '"' && c != '#' && c != '[' && c != ']' && c != '{' && c != '}' && c != '\\' &&
               c != '(' && c != ')') {
      v = kWord;
      if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.') v |= kNumStart;
    }
    t[static_cast<std::size_t>(c)] = v;
  }
  return t;
}
inline constexpr std::array<std::uint8_t, 256> kClass = MakeClasses();

inline std::uint8_t ClassOf(char c) { return kClass[static_cast<unsigned char>(c)]; }

// Inside a bracketed list the parser knows where the next ']' is. Scans that only step over
// blanks, digits, signs and points stop at that ']' at the latest, so they need no end checks.

// Blanks and commas from s on, stopping at `stop` at the latest; counts newlines into `lines`.
inline const char* SkipBlanks(const char* s, const char* stop, int& lines) {
  int n = 0;  // counted in a local: char reads may alias `lines`, which would pin it to memory
  while (s < stop && (ClassOf(*s) & kSpace)) n += *s++ == '\n';
  lines += n;
  return s;
}

}  // namespace kernelcad::vrml
