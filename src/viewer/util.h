// Numeric helpers of the viewer: the smaller and larger of two doubles, the zoom typed in a text
// field, and the whole-number, rounding and text conversions the windows use. Rounding is to
// nearest with halves to the even neighbour; conversions from text and to whole numbers are
// bounded (a number too large for its type saturates, text that is no number gives 0).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace viewer {

// a when b >= a, else b: the first argument wins a tie.
double Smaller(double a, double b);
// a when b <= a, else b: the first argument wins a tie.
double Larger(double a, double b);
// Trimmed text, one trailing "%" dropped; its value / 100 when numeric, else 0.
double ZoomFromText(std::string_view text);

// The leading number of the text (blanks before it skipped; digits, one decimal point, an
// exponent) as a double; 0 when there is none; saturates at the largest finite double.
double Val(std::string_view text);
// True when the text, trimmed of blanks, is one number and nothing else.
bool IsNumeric(std::string_view text);
// Whole numbers rounded to nearest, halves to even; saturated to the type's range; NaN gives 0.
int16_t CInt(double value);
int32_t CLng(double value);
// value rounded to the given number of decimal places (0 to 15), halves to even.
double Round(double value, int places);
// The number as text with a leading sign position: a blank for a non-negative number, "-" for
// a negative one; up to 15 significant digits, no trailing zeros.
std::string Str(double value);

}  // namespace viewer
