// Numeric helpers of the viewer (see util.h). Text is parsed by hand and converted with
// std::from_chars, so the user's locale never changes the decimal point and words such as "inf"
// or "nan" are not numbers.
#include "util.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace viewer {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Length of the number at the start of text: optional sign, digits with at most one decimal
// point (at least one digit), then an optional exponent that is taken only when it has digits.
size_t numberLength(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    const size_t expStart = j;
    while (j < text.size() && isDigit(text[j])) ++j;
    if (j > expStart) i = j;
  }
  return i;
}

// Decimal magnitude of an unsigned number: the place of its first non-zero digit counted from
// the decimal point (1 for units, 0 for tenths, -1 for hundredths ...) plus its exponent. Used
// only to tell an overflow from an underflow; the exponent is read with saturation.
int64_t decimalMagnitude(std::string_view number) {
  const size_t exponentAt = number.find_first_of("eE");
  const std::string_view mantissa = number.substr(0, exponentAt);
  int64_t exponent = 0;
  if (exponentAt != std::string_view::npos) {
    std::string_view digits = number.substr(exponentAt + 1);
    const bool negative = digits.front() == '-';
    if (digits.front() == '+' || negative) digits.remove_prefix(1);
    for (char c : digits) exponent = std::min<int64_t>(exponent * 10 + (c - '0'), 1 << 30);
    if (negative) exponent = -exponent;
  }
  const size_t point = std::min(mantissa.find('.'), mantissa.size());
  const size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return INT64_MIN / 2;  // zero
  const int64_t place = first < point ? static_cast<int64_t>(point - first)
                                      : -static_cast<int64_t>(first - point - 1);
  return place + exponent;
}

// Value of a number that numberLength accepted in full.
double parseNumber(std::string_view number) {
  const bool negative = number.front() == '-';
  if (number.front() == '+' || negative) number.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  (void)end;
  if (error == std::errc::result_out_of_range)
    value = decimalMagnitude(number) > 0 ? std::numeric_limits<double>::max() : 0.0;
  return negative ? -value : value;
}

template <typename Int>
Int roundSaturated(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = std::nearbyint(value);  // default mode: nearest, halves to even
  if (rounded <= static_cast<double>(std::numeric_limits<Int>::min()))
    return std::numeric_limits<Int>::min();
  if (rounded >= static_cast<double>(std::numeric_limits<Int>::max()))
    return std::numeric_limits<Int>::max();
  return static_cast<Int>(rounded);
}

}  // namespace

double Smaller(double a, double b) {
  return b >= a ? a : b;
}
double Larger(double a, double b) {
  return b <= a ? a : b;
}

double ZoomFromText(std::string_view text) {
  text = trim(text);
  if (!text.empty() && text.back() == '%') text.remove_suffix(1);
  return IsNumeric(text) ? Val(text) / 100 : 0.0;
}

double Val(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  const size_t length = numberLength(text);
  return length == 0 ? 0.0 : parseNumber(text.substr(0, length));
}

bool IsNumeric(std::string_view text) {
  text = trim(text);
  return !text.empty() && numberLength(text) == text.size();
}

int16_t CInt(double value) {
  return roundSaturated<int16_t>(value);
}
int32_t CLng(double value) {
  return roundSaturated<int32_t>(value);
}

double Round(double value, int places) {
  if (places < 0) places = 0;
  if (places > 15) places = 15;
  const double scale = std::pow(10.0, places);
  const double scaled = value * scale;
  // Beyond 2^52 every double is already whole; infinities and NaN pass through.
  if (!std::isfinite(scaled) || std::fabs(scaled) >= 4503599627370496.0) return value;
  return std::nearbyint(scaled) / scale;
}

std::string Str(double value) {
  if (value == 0) value = 0.0;  // no "-0"
  std::array<char, 40> digits{};
  const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value,
                                          std::chars_format::general, 15);
  std::string text(digits.data(), error == std::errc() ? end : digits.data());
  if (!(value < 0)) text.insert(text.begin(), ' ');
  return text;
}

}  // namespace viewer
