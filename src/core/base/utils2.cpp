// String concatenation and the fixed-point sine and arctangent of the core's angle unit
// (0x8000 = a full turn; sines in Q15).
//
// Sine: the angle is folded onto x = 4c - 0x8000 in -1..1 (Q15), c being the distance from a
// quarter turn, and the odd polynomial of sin(pi/2 x) is evaluated in Q15 with every product
// rounded by R(v) = (v + 0x4000) / 0x8000, the division truncating toward zero (an arithmetic
// shift would round negative products differently and change the results).
// Arctangent: the vector is folded into the first octant, the ratio f of the smaller to the
// larger coordinate (Q15) goes through the arctangent series below 0x4138 and through an
// expansion around 25601 / 32768 above it, and the octant angle is placed by quadrant.
#include <cstdlib>
#include <cstring>

#include "pxl_internal.h"
#include "pxl_utils.h"

namespace {

constexpr const char *kUnit = "utils2";

constexpr int64_t R(int64_t v) {
  return (v + 0x4000) / 0x8000;
}

constexpr int32_t fixedSin(int32_t angle) {
  int64_t b = angle < 0 ? -int64_t{angle} : angle;
  if (b > 0x6000) b -= 0x8000;
  const int64_t c = b >= 0x2000 ? b - 0x2000 : 0x2000 - b;
  const int64_t x = 4 * c - 0x8000;
  const int64_t x2 = R(x * x), x3 = R(x2 * x), x5 = R(x3 * x2), x7 = R(x5 * x2);
  const int64_t s = R(21165 * x3 + 142 * x7 - 51472 * x - 2603 * x5);
  return static_cast<int32_t>(angle >= 0 ? s : -s);
}

// Angle of a vector with 0 <= y, x < 0x8000 and not both 0, in the first quadrant.
constexpr int32_t firstQuadrantAtan(int64_t x, int64_t y) {
  const bool fromY = y > x;  // the angle is measured from the y axis
  const int64_t f = fromY ? (x * 32768) / y : (y * 32768) / x;
  int64_t p;
  if (f < 0x4138) {
    const int64_t x2 = R(f * f), x3 = R(x2 * f), x5 = R(x3 * x2), x7 = R(x5 * x2);
    p = f * 32768 - 10923 * x3 + 6554 * x5 - 4681 * x7;
  } else {
    const int64_t m = f - 0x6401;
    const int64_t m2 = R(m * m), m3 = R(m2 * m), m4 = R(m2 * m2);
    p = 0x2A720000 + 20348 * m - 9872 * m2 + 2174 * m3 + 1483 * m4;
  }
  const int64_t o = (((p + 0x2000) / 0x4000) * 20861 + 0x20000) / 0x40000;
  return static_cast<int32_t>(fromY ? 0x2000 - o : o);
}

}  // namespace

extern "C" {

int32_t pxlConcatStrings(PxlContext *ctx, const char *a, const char *b, char **out) {
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  const size_t la = a != nullptr ? std::strlen(a) : 0;
  const size_t lb = b != nullptr ? std::strlen(b) : 0;
  auto *text = static_cast<char *>(pxl::allocRecordZeroed(ctx, 1, la + lb + 8));
  if (text == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  if (la != 0) std::memcpy(text, a, la);
  if (lb != 0) std::memcpy(text + la, b, lb);
  *out = text;
  return PXL_OK;
}

int32_t pxlFixedSin(PxlContext *, int32_t angle, int32_t *out) {
  if (angle < -0x8000 || angle > 0x8000) return PXL_ERR_PARAM;
  *out = fixedSin(angle);
  return PXL_OK;
}

int32_t pxlFixedAtan2(PxlContext *, int32_t x, int32_t y, int32_t *out) {
  const int64_t ax = std::llabs(x), ay = std::llabs(y);
  if (ax >= 0x8000 || ay >= 0x8000) {
    *out = 32769;
    return PXL_ERR_PARAM;
  }
  if (x == 0 && y == 0) {
    *out = 0;
    return PXL_ERR_PARAM;
  }
  const int32_t a = firstQuadrantAtan(ax, ay);
  // Mirror the first-quadrant angle into the vector's quadrant.
  if (y >= 0)
    *out = x >= 0 ? a : 0x4000 - a;
  else
    *out = x >= 0 ? -a : a - 0x4000;
  return PXL_OK;
}

}  // extern "C"
