// CIE L*a*b* codes to RGB, in place on 24-bit pixels: the codes of each pixel (L, a, b in
// stored order) are scaled to L*, a*, b* by the layer's decode range in 22-bit fixed point,
// taken to X, Y, Z through the inverse of the CIE f function (a 1024-entry table, 1.0 =
// 16384), to linear RGB by a fixed matrix in units of 1/512, and through a 1024-entry sRGB
// gamma table to bytes, written blue, green, red. A pixel equal to the one before it in its
// row takes that pixel's result.
#include <algorithm>
#include <array>
#include <cmath>

#include "image_adapter.h"

namespace ctl {
namespace {

constexpr int kTableSize = 1024;
constexpr int kFixedBits = 22;
constexpr int64_t kOne = int64_t{1} << kFixedBits;

struct LabTables {
  std::array<int32_t, kTableSize> inverseF;  // f^-1(i / 1023) x 16384
  std::array<uint8_t, kTableSize> gamma;     // sRGB gamma of j / 1023
};

const LabTables &labTables() {
  static const LabTables tables = [] {
    LabTables t{};
    for (int i = 0; i < kTableSize; ++i) {
      const double v = i / 1023.0;
      const double f = v >= 0.20689303 ? v * v * v : (v - 0.13793103) * 0.12841916;
      t.inverseF[i] = static_cast<int32_t>(f * 16384);
      const double g =
          v > 0.00313 ? (1.055 * std::pow(v, 0.4166666666666667) - 0.055) * 256 : v * 3307.52;
      t.gamma[i] = static_cast<uint8_t>(std::clamp(g, 0.0, 255.0));
    }
    return t;
  }();
  return tables;
}

int clampIndex(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, 0, kTableSize - 1));
}

// Fixed-point value of lo + code x (hi - lo) / 255 for every code.
std::array<int64_t, 256> codeTable(double lo, double hi) {
  std::array<int64_t, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = std::llround((lo + c * (hi - lo) / 255) * kOne);
  return t;
}

}  // namespace

void ImageAdapter::ConvertLabToRgb(const LabRange &range) {
  uint8_t *data = GetData();
  if (data == nullptr || GetBitsPerPixel() != 24) return;
  const LabTables &t = labTables();
  const std::array<int64_t, 256> lStar = codeTable(range.lMin, range.lMax);
  const std::array<int64_t, 256> aStar = codeTable(range.aMin, range.aMax);
  const std::array<int64_t, 256> bStar = codeTable(range.bMin, range.bMax);
  const int64_t width = GetWidth(), height = GetHeight(), stride = GetStride();
  for (int64_t y = 0; y < height; ++y) {
    uint8_t *p = data + y * stride;
    uint8_t lastIn[3] = {0, 0, 0}, lastOut[3] = {0, 0, 0};
    for (int64_t x = 0; x < width; ++x, p += 3) {
      if (x > 0 && p[0] == lastIn[0] && p[1] == lastIn[1] && p[2] == lastIn[2]) {
        p[0] = lastOut[0], p[1] = lastOut[1], p[2] = lastOut[2];
        continue;
      }
      lastIn[0] = p[0], lastIn[1] = p[1], lastIn[2] = p[2];
      const int64_t fy = (lStar[p[0]] + 16 * kOne) / 116;
      const int64_t fx = fy + aStar[p[1]] / 500;
      const int64_t fz = fy - bStar[p[2]] / 200;
      const int64_t X = t.inverseF[clampIndex(fx * 1023 >> kFixedBits)];
      const int64_t Y = t.inverseF[clampIndex(fy * 1023 >> kFixedBits)];
      const int64_t Z = t.inverseF[clampIndex(fz * 1023 >> kFixedBits)];
      // Linear RGB x 512 x 16384; index 1023 is 1.0.
      const int64_t r = 1577 * X - 787 * Y - 278 * Z;
      const int64_t g = -471 * X + 960 * Y + 23 * Z;
      const int64_t b = 27 * X - 104 * Y + 589 * Z;
      p[0] = t.gamma[clampIndex(b / 8192)];
      p[1] = t.gamma[clampIndex(g / 8192)];
      p[2] = t.gamma[clampIndex(r / 8192)];
      lastOut[0] = p[0], lastOut[1] = p[1], lastOut[2] = p[2];
    }
  }
}

}  // namespace ctl
