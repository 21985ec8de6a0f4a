// Text for messages: bytes that are not UTF-8 escaped, everything valid kept as it is, and a step
// that runs out of memory told in words.

#include "kernelcad/core/text.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

namespace {

using kernelcad::EscapeInvalidUtf8;

TEST(EscapeInvalidUtf8, KeepsValidTextAndEscapesEveryOtherByte) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"", ""},
      {"C:\\Kelvard\\Data\\foot.wrl, line 3", "C:\\Kelvard\\Data\\foot.wrl, line 3"},
      // Two-, three- and four-byte sequences: é, €, 𝄞, and the last code point.
      {"pied \xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E \xF4\x8F\xBF\xBF",
       "pied \xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E \xF4\x8F\xBF\xBF"},
      // A binary file's bytes: stray continuation, lone lead, bytes never used.
      {"found '\x80\xFF\xFE'", "found '\\x80\\xFF\\xFE'"},
      // A lead byte cut short by the end, or followed by a plain character.
      {"\xE2\x82", "\\xE2\\x82"},
      {"\xC3(", "\\xC3("},
      // Latin-1 text: each accented byte on its own.
      {"Fu\xDF.wrl", "Fu\\xDF.wrl"},
      // Overlong forms, a UTF-16 surrogate, beyond U+10FFFF.
      {"\xC0\xAF", "\\xC0\\xAF"},
      {"\xE0\x80\xAF", "\\xE0\\x80\\xAF"},
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
      {"\xF5\x80\x80\x80", "\\xF5\\x80\\x80\\x80"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeInvalidUtf8(c.in), c.out) << c.in;
    // What comes out is valid, so escaping it again changes nothing.
    EXPECT_EQ(EscapeInvalidUtf8(c.out), c.out);
  }
}

TEST(WhileDoing, OutOfMemoryNamesTheStepAndOtherResultsPassThrough) {
  EXPECT_EQ(kernelcad::WhileDoing("add", [] { return 2 + 2; }), 4);
  try {
    kernelcad::WhileDoing("read foot.wrl", []() -> int { throw std::bad_alloc(); });
    FAIL() << "no failure";
  } catch (const kernelcad::NotEnoughMemory& e) {
    EXPECT_STREQ(e.what(), "not enough memory to read foot.wrl");
  }
  // Any other failure is the step's own.
  EXPECT_THROW(kernelcad::WhileDoing("parse", []() -> int { throw std::length_error("x"); }),
               std::length_error);
}

}  // namespace
