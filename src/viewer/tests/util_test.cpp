// The viewer's numeric helpers: ties of Smaller and Larger, the zoom field's text, Val and
// IsNumeric on leading numbers, blanks and out-of-range text, whole-number conversions rounding
// halves to even and saturating, Round to 4 places and Str's sign position.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "util.h"

namespace viewer {
namespace {

TEST(Util, SmallerAndLargerReturnTheFirstArgumentOnATie) {
  EXPECT_EQ(Smaller(1.0, 2.0), 1.0);
  EXPECT_EQ(Smaller(3.0, 2.0), 2.0);
  EXPECT_EQ(Larger(1.0, 2.0), 2.0);
  EXPECT_EQ(Larger(3.0, 2.0), 3.0);
  // 0.0 and -0.0 compare equal: the sign bit shows which argument came back.
  EXPECT_TRUE(std::signbit(Smaller(-0.0, 0.0)));
  EXPECT_FALSE(std::signbit(Smaller(0.0, -0.0)));
  EXPECT_TRUE(std::signbit(Larger(-0.0, 0.0)));
  EXPECT_FALSE(std::signbit(Larger(0.0, -0.0)));
}

TEST(Util, ZoomFromText) {
  const struct {
    const char *text;
    double zoom;
  } cases[] = {
      {"150%", 1.5},  {"  25  ", 0.25}, {"25 %", 0.25}, {"%", 0.0},      {"", 0.0},
      {"abc", 0.0},   {"12x%", 0.0},    {"50%%", 0.0},  {"-100%", -1.0}, {"1e2%", 1.0},
      {".5%", 0.005}, {"inf%", 0.0},    {"nan", 0.0},   {"0x10%", 0.0},
  };
  for (const auto &c : cases) EXPECT_DOUBLE_EQ(ZoomFromText(c.text), c.zoom) << c.text;
}

TEST(Util, ValTakesTheLeadingNumber) {
  const struct {
    const char *text;
    double value;
  } cases[] = {
      {"42", 42},      {"  12abc", 12}, {"abc", 0},    {"", 0},         {"-3.5", -3.5}, {"+7", 7},
      {"1.5e2x", 150}, {"2e", 2},       {"2e+", 2},    {".25", 0.25},   {"5.", 5},      {".", 0},
      {"-", 0},        {"1.2.3", 1.2},  {"\t8 MB", 8}, {"1e-400", 0.0}, {"0e999", 0.0},
  };
  for (const auto &c : cases) EXPECT_DOUBLE_EQ(Val(c.text), c.value) << c.text;
}

TEST(Util, ValSaturatesOutOfRangeText) {
  const double max = std::numeric_limits<double>::max();
  EXPECT_EQ(Val("1e400"), max);
  EXPECT_EQ(Val("-1e400"), -max);
  EXPECT_EQ(Val(std::string(400, '9')), max);
  EXPECT_EQ(Val("0.000001e99999999999999999999"), max);
  EXPECT_EQ(Val("100000e-99999999999999999999"), 0.0);
}

TEST(Util, IsNumericWantsOneNumberAndNothingElse) {
  for (const char *yes : {"1", " 12 ", "-4.5", "1e3", "0.5", ".5", "7."})
    EXPECT_TRUE(IsNumeric(yes)) << yes;
  for (const char *no : {"", "  ", "1a", "a1", "1 2", "e3", "+", ".", "inf", "1e", "%"})
    EXPECT_FALSE(IsNumeric(no)) << no;
}

TEST(Util, WholeNumbersRoundHalvesToEven) {
  const struct {
    double value;
    int32_t rounded;
  } cases[] = {
      {0.5, 0},   {1.5, 2},   {2.5, 2},    {3.5, 4},    {-0.5, 0},
      {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(CLng(c.value), c.rounded) << c.value;
    EXPECT_EQ(CInt(c.value), c.rounded) << c.value;
  }
}

TEST(Util, WholeNumbersSaturate) {
  EXPECT_EQ(CInt(32767.4), 32767);
  EXPECT_EQ(CInt(32767.5), 32767);
  EXPECT_EQ(CInt(1e9), 32767);
  EXPECT_EQ(CInt(-32768.5), -32768);
  EXPECT_EQ(CInt(-1e9), -32768);
  EXPECT_EQ(CLng(2147483647.6), 2147483647);
  EXPECT_EQ(CLng(-2147483648.6), -2147483647 - 1);
  EXPECT_EQ(CLng(std::numeric_limits<double>::infinity()), 2147483647);
  EXPECT_EQ(CLng(-std::numeric_limits<double>::infinity()), -2147483647 - 1);
  EXPECT_EQ(CLng(std::nan("")), 0);
  EXPECT_EQ(CInt(std::nan("")), 0);
  // A page number typed far out of range stays a valid, bounded page request.
  EXPECT_EQ(CLng(Val("99999999999999999999")), 2147483647);
}

TEST(Util, RoundToFourPlaces) {
  // 1.03125 and 1.09375 are exact in binary, so their fifth place is a true half.
  EXPECT_EQ(Round(1.03125, 4), 1.0312);
  EXPECT_EQ(Round(1.09375, 4), 1.0938);
  EXPECT_EQ(Round(-1.03125, 4), -1.0312);
  EXPECT_EQ(Round(0.123456, 4), 0.1235);
  EXPECT_EQ(Round(0.123449, 4), 0.1234);
  EXPECT_EQ(Round(10.0, 4), 10.0);
  EXPECT_EQ(Round(2.5, 0), 2.0);
  EXPECT_EQ(Round(1e300, 4), 1e300);  // too large to scale: already whole
  EXPECT_TRUE(std::isinf(Round(std::numeric_limits<double>::infinity(), 4)));
}

TEST(Util, StrHasALeadingSignPosition) {
  const struct {
    double value;
    const char *text;
  } cases[] = {
      {12, " 12"},      {0, " 0"},     {-0.0, " 0"},     {-7, "-7"},
      {25, " 25"},      {1.5, " 1.5"}, {-0.25, "-0.25"}, {100 * 0.1234, " 12.34"},
      {1e20, " 1e+20"},
  };
  for (const auto &c : cases) EXPECT_EQ(Str(c.value), c.text) << c.value;
  // The zoom field's text: a blank, the percentage, the percent sign.
  EXPECT_EQ(Str(0.25 * 100) + "%", " 25%");
  EXPECT_EQ("of " + Str(7), "of  7");
}

}  // namespace
}  // namespace viewer
