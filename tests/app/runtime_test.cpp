// Reading typed numbers and showing them, as the windows rely on.

#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

using platform::CInt;
using platform::Val;

TEST(Val, ReadsTheLeadingNumberOrZero) {
  const std::pair<const char*, double> cases[] = {{"12.5", 12.5}, {" \t\n-3.25mm", -3.25},
                                                  {"+7", 7},      {" 1 2.5x", 12.5},
                                                  {"1.2.3", 1.2}, {".5", 0.5},
                                                  {"2e3", 2000},  {"1.5E-2 and more", 0.015},
                                                  {"4e", 4},      {"&H1F", 31},
                                                  {"&o17", 15},   {"&O19", 1},
                                                  {"", 0},        {"abc", 0},
                                                  {"-", 0},       {".", 0},
                                                  {"x12", 0}};
  for (const auto& [text, value] : cases) EXPECT_DOUBLE_EQ(Val(text), value) << text;
}

TEST(CInt, RoundsHalfToEvenWithinSixteenBits) {
  const std::pair<double, int> cases[] = {{2.5, 2}, {3.5, 4},         {-2.5, -2},
                                          {2.6, 3}, {32767.4, 32767}, {-32768.4, -32768}};
  for (const auto& [value, rounded] : cases) EXPECT_EQ(CInt(value), rounded) << value;
  for (double outside : {32767.5, -32769.0, std::numeric_limits<double>::quiet_NaN()})
    EXPECT_THROW(CInt(outside), std::overflow_error) << outside;
}
