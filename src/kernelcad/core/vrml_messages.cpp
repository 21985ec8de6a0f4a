#include "kernelcad/core/vrml_messages.h"

#include <cstdio>

namespace kernelcad::vrml {

namespace {

// Length of the valid UTF-8 sequence at s (n bytes left), 0 when the bytes there are not one.
std::size_t Utf8Length(const unsigned char* s, std::size_t n) {
  const unsigned char c = s[0];
  if (c < 0x80) return c >= 0x20 && c != 0x7f ? 1 : 0;  // control characters are escaped too
  // Second byte's range by lead byte, which rules out overlong forms and surrogates.
  std::size_t len = 0;
  unsigned char lo = 0x80, hi = 0xbf;
  if (c >= 0xc2 && c <= 0xdf) {
    len = 2;
  } else if (c >= 0xe0 && c <= 0xef) {
    len = 3;
    if (c == 0xe0) lo = 0xa0;
    if (c == 0xed) hi = 0x9f;
  } else if (c >= 0xf0 && c <= 0xf4) {
    len = 4;
    if (c == 0xf0) lo = 0x90;
    if (c == 0xf4) hi = 0x8f;
  } else {
    return 0;
  }
  if (n < len || s[1] < lo || s[1] > hi) return 0;
  for (std::size_t i = 2; i < len; ++i) {
    if ((s[i] & 0xc0) != 0x80) return 0;
  }
  return len;
}

}  // namespace

std::string Escaped(std::string_view text, std::size_t maxBytes) {
  std::string out;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t i = 0;
  while (i < text.size()) {
    if (i >= maxBytes) return out + "...";
    const std::size_t len = Utf8Length(s + i, text.size() - i);
    if (len > 0) {
      out.append(text.substr(i, len));
      i += len;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", s[i++]);
      out += buf;
    }
  }
  return out;
}

std::string ByteSize(std::uint64_t bytes) {
  if (bytes < 1000) return std::to_string(bytes) + " bytes";
  char buf[32];
  const auto v = static_cast<double>(bytes);
  std::snprintf(buf, sizeof buf, v < 1e6 ? "%.1f kB" : "%.1f MB", v < 1e6 ? v / 1e3 : v / 1e6);
  return buf;
}

std::string Quoted(std::string_view text) {
  std::string out(1, '\'');
  out += Escaped(text, 40);
  out += '\'';
  return out;
}

}  // namespace kernelcad::vrml
