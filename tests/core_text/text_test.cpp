// Bytes that are not UTF-8 escaped for messages; valid text kept as it is.

#include "kernelcad/core/text.h"

#include <gtest/gtest.h>

TEST(EscapeInvalidUtf8, EscapesEachByteOutsideAWellFormedSequence) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Data\\pi\xC3\xA9 \xE2\x82\xAC\xF0\x9D\x84\x9E\xF4\x8F\xBF\xBF",
       "C:\\Data\\pi\xC3\xA9 \xE2\x82\xAC\xF0\x9D\x84\x9E\xF4\x8F\xBF\xBF"},
      // Binary bytes, Latin-1, a sequence cut short, control characters; overlong, surrogate,
      // beyond U+10FFFF.
      {"'\x80\xFF' Fu\xDF \xE2\x82 a\nb\x1B", "'\\x80\\xff' Fu\\xdf \\xe2\\x82 a\\x0ab\\x1b"},
      {"\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80", "\\xc0\\xaf\\xed\\xa0\\x80\\xf4\\x90\\x80\\x80"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(kernelcad::EscapeInvalidUtf8(in), out) << in;
}
