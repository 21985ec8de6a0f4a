#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The fast path of every scan reader's number parsing: most of a text scan's bytes are
// coordinates in plain decimals.
namespace kernelcad {

// 10^0 .. 10^22: every one is exactly a double.
constexpr std::array<double, 23> kPow10 = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                           1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                           1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Scans write coordinates as plain decimals ("-123.4567"). Those with at most 19 digits whose
// digits form an integer below 2^53 convert exactly: an exact integer divided by an exact power
// of ten is one correctly rounded division. Returns the end of the number, or nullptr when the
// text needs the general parser (exponents, long mantissas, anything malformed). It reads on
// while it sees digits, so the text must end in something else.
inline const char* PlainDecimal(const char* s, double& out) {
  const bool neg = *s == '-';
  s += neg || *s == '+';
  std::uint64_t m = 0;
  const char* first = s;
  while (static_cast<unsigned char>(*s - '0') < 10) m = m * 10 + static_cast<unsigned>(*s++ - '0');
  std::ptrdiff_t digits = s - first;
  std::ptrdiff_t frac = 0;
  if (*s == '.') {
    const char* f = ++s;
    while (static_cast<unsigned char>(*s - '0') < 10)
      m = m * 10 + static_cast<unsigned>(*s++ - '0');
    frac = s - f;
    digits += frac;
  }
  // Past 19 digits m may have wrapped; the count alone decides then.
  if (digits == 0 || digits > 19 || frac >= static_cast<std::ptrdiff_t>(kPow10.size()) ||
      m >= (std::uint64_t{1} << 53)) {
    return nullptr;
  }
  const double v = static_cast<double>(m) / kPow10[static_cast<std::size_t>(frac)];
  out = neg ? -v : v;
  return s;
}

}  // namespace kernelcad
