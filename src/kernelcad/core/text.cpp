#include "kernelcad/core/text.h"

#include <cstdio>

namespace kernelcad {

namespace {

// Length of the well-formed, printable UTF-8 sequence at the start of `s`, or 0 when there is
// none: no overlong forms, no surrogates, nothing beyond U+10FFFF.
std::size_t validSequence(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  // Control characters too: a line break or a terminal escape inside a quoted name must not
  // split the message or change the terminal.
  if (lead < 0x80) return lead >= 0x20 && lead != 0x7F ? 1 : 0;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

}  // namespace

std::string EscapeInvalidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t n = validSequence(text);
    if (n > 0) {
      out.append(text.substr(0, n));
      text.remove_prefix(n);
      continue;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(text.front()));
    out += hex;
    text.remove_prefix(1);
  }
  return out;
}

}  // namespace kernelcad
