// The runtime helpers the windows rely on for reading typed numbers and showing them.

#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <stdexcept>

using platform::CInt;
using platform::Format;
using platform::Val;

TEST(Val, ReadsTheLeadingNumberLikeTheOldRuntime) {
  EXPECT_DOUBLE_EQ(Val("12.5"), 12.5);
  EXPECT_DOUBLE_EQ(Val(" \t\n-3.25mm"), -3.25);
  EXPECT_DOUBLE_EQ(Val("+7"), 7);
  EXPECT_DOUBLE_EQ(Val(" 1 2.5x"), 12.5);
  EXPECT_DOUBLE_EQ(Val("1.2.3"), 1.2);
  EXPECT_DOUBLE_EQ(Val(".5"), 0.5);
  EXPECT_DOUBLE_EQ(Val("2e3"), 2000);
  EXPECT_DOUBLE_EQ(Val("1.5E-2 and more"), 0.015);
  EXPECT_DOUBLE_EQ(Val("4e"), 4);
  EXPECT_DOUBLE_EQ(Val("&H1F"), 31);
  EXPECT_DOUBLE_EQ(Val("&o17"), 15);
  EXPECT_DOUBLE_EQ(Val("&O19"), 1);
}

TEST(Val, GivesZeroForNothingReadable) {
  EXPECT_EQ(Val(""), 0);
  EXPECT_EQ(Val("abc"), 0);
  EXPECT_EQ(Val("-"), 0);
  EXPECT_EQ(Val("."), 0);
  EXPECT_EQ(Val("x12"), 0);
}

TEST(Format, FixedDecimalsWithPointWhateverTheLocale) {
  EXPECT_EQ(Format(12.345, "0.0"), "12.3");
  EXPECT_EQ(Format(2.0, "0.000"), "2.000");
  EXPECT_EQ(Format(0.125, "0.00"), "0.13");  // exactly representable: rounds away from zero
  EXPECT_EQ(Format(-1.06, "0.0"), "-1.1");
  EXPECT_EQ(Format(1234567.891, "0.0"), "1234567.9");
}

TEST(CInt, RoundsHalfToEvenWithinSixteenBits) {
  EXPECT_EQ(CInt(2.5), 2);
  EXPECT_EQ(CInt(3.5), 4);
  EXPECT_EQ(CInt(-2.5), -2);
  EXPECT_EQ(CInt(2.6), 3);
  EXPECT_EQ(CInt(32767.4), 32767);
  EXPECT_EQ(CInt(-32768.4), -32768);
  EXPECT_THROW(CInt(32767.5), std::overflow_error);
  EXPECT_THROW(CInt(-32769), std::overflow_error);
  EXPECT_THROW(CInt(std::numeric_limits<double>::quiet_NaN()), std::overflow_error);
}
