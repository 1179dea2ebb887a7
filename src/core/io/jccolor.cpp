// CIE L*a*b* rows for JPEG output. Every constant, rounding and clamping step below is part
// of the output format (the background of every TIFF-FX colour page is coded through it):
// single-precision constants widened to double, double-precision arithmetic, truncation
// toward zero, and 32-bit wrapping integer arithmetic with arithmetic right shifts.
//
// Per pixel: the sRGB table linearises R, G, B to 12 bits; a fixed-point matrix gives the
// 12-bit indices of X, Y, Z (D65 white at index 4096); the f() table gives their Q14 cube
// roots; L*, a*, b* bytes are fixed-point affine maps of fY, fX - fY and fY - fZ onto the
// object's ranges. A run of equal pixels is converted once.
#include "jccolor.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace pxl::jpeg {
namespace {

// Single-precision constants of the format, widened to double.
constexpr double kInv4095 = static_cast<double>(0.00024420026f);
constexpr double kEpsilon = static_cast<double>(0.008856f);
constexpr double kSlope = static_cast<double>(7.787f);
constexpr double kOffset = static_cast<double>(0.13793103f);
constexpr double kRootTolerance = static_cast<double>(0.00001f);
constexpr double kRootStartScale = static_cast<double>(2.7777777f);
constexpr double kRootStartOffset = static_cast<double>(0.6f);
constexpr double kGreyScale = static_cast<double>(2.56f);

// ITULAB default ranges and the CIELAB fixed ranges: L min, L max, a min, a max, b min, b max.
constexpr float kItuLab[6] = {0.0f, 100.0f, -85.333336f, 84.666664f, -75.29412f, 124.70588f};
constexpr float kCieLab[6] = {0.0f, 100.0f, -128.0f, 127.0f, -128.0f, 127.0f};

// Double to a 32-bit integer, truncated toward zero; a value outside the range gives the
// processor's "integer indefinite" (INT32_MIN) as the conversion instruction does.
int32_t truncate32(double v) {
  if (!(v > -2147483649.0 && v < 2147483648.0)) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// a x b + c in 32-bit two's complement arithmetic, then an arithmetic shift by 17, clamped.
uint8_t affineByte(int32_t a, int32_t b, int32_t c) {
  const auto sum = static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b) +
                                        static_cast<uint32_t>(c));
  const int32_t v = sum >> 17;
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// The L*, a*, b* bytes of one pixel from the two tables.
inline void labOf(const LabCoefficients &k, const int32_t *srgb, const int32_t *f, uint32_t r,
                  uint32_t g, uint32_t b, uint8_t out[3]) {
  const int32_t lr = srgb[r], lg = srgb[g], lb = srgb[b];
  const int32_t fX = f[(7108 * lr + 6164 * lg + 3111 * lb + 8192) >> 14];
  const int32_t fY = f[(3483 * lr + 11717 * lg + 1182 * lb + 8192) >> 14];
  const int32_t fZ = f[(290 * lr + 1793 * lg + 14300 * lb + 8192) >> 14];
  out[0] = affineByte(fY, k.kL, k.tL);
  out[1] = affineByte(fX - fY, k.kA, k.tA);
  out[2] = affineByte(fY - fZ, k.kB, k.tB);
}

void rgbRows(const LabCoefficients &coefficients, JcxCompressObject *object, JSAMPARRAY in,
             JSAMPARRAY out, int32_t rows) {
  const LabCoefficients k = coefficients;  // a local copy: the output stores cannot alias it
  const int32_t *srgb = srgbTable();
  const int32_t *f = rgb_lab_start();
  const JDIMENSION width = object->cinfo.image_width;
  for (int32_t y = 0; y < rows; ++y) {
    const JSAMPLE *src = in[y];
    JSAMPLE *dst = out[y];
    uint32_t previous = 0xFFFFFFFFu;
    uint8_t lab[3] = {0, 0, 0};
    for (JDIMENSION x = 0; x < width; ++x, src += 3, dst += 3) {
      const uint32_t key = (uint32_t{src[0]} << 16) | (uint32_t{src[1]} << 8) | src[2];
      if (key != previous) {
        labOf(k, srgb, f, src[0], src[1], src[2], lab);
        previous = key;
      }
      dst[0] = lab[0];
      dst[1] = lab[1];
      dst[2] = lab[2];
    }
  }
}

void rgb_itulab_convert(JcxCompressObject *object, JSAMPARRAY in, JSAMPARRAY out, int32_t rows) {
  rgbRows(labCoefficients(object), object, in, out, rows);
}

void rgb_cielab_convert(JcxCompressObject *object, JSAMPARRAY in, JSAMPARRAY out, int32_t rows) {
  storeCielabRanges(object);
  rgbRows(labCoefficients(object), object, in, out, rows);
}

// Grey to L* bytes: unchanged when the object's L* range is empty (or not a number) or is
// exactly 0 to 100, which is what the system's callers get; else through a byte table of
// 100 v / 256 clamped to the range and scaled by 2.56.
void gray_itulab_convert(JcxCompressObject *object, JSAMPARRAY in, JSAMPARRAY out, int32_t rows) {
  const JDIMENSION width = object->cinfo.image_width;
  const double range = static_cast<double>(object->lab_l_max) - object->lab_l_min;
  if (!(range != 0.0) || (object->lab_l_min == 0.0f && object->lab_l_max == 100.0f)) {
    for (int32_t y = 0; y < rows; ++y) std::memcpy(out[y], in[y], width);
    return;
  }
  if (range < 0.0) {
    object->lab_l_min = 0.0f;
    object->lab_l_max = 100.0f;
  }
  uint8_t table[256];
  for (int v = 0; v < 256; ++v) {
    double w = v * 0.390625;
    if (w < object->lab_l_min) w = object->lab_l_min;
    if (w > object->lab_l_max) w = object->lab_l_max;
    const double scaled = static_cast<float>(w * kGreyScale);
    table[v] = static_cast<uint8_t>(scaled < 0.0 ? 0 : scaled > 255.0 ? 255 : truncate32(scaled));
  }
  for (int32_t y = 0; y < rows; ++y)
    for (JDIMENSION x = 0; x < width; ++x) out[y][x] = table[in[y][x]];
}

constexpr JcxLabConverter kRgbItuLab{rgb_itulab_convert};
constexpr JcxLabConverter kRgbCieLab{rgb_cielab_convert};
constexpr JcxLabConverter kGrayItuLab{gray_itulab_convert};

}  // namespace

const int32_t *srgbTable() {
  static const auto table = [] {
    std::array<int32_t, 256> t{};
    for (int v = 0; v < 256; ++v) {
      const double c = v / 255.0;
      const double linear = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
      t[v] = static_cast<int32_t>(std::lround(4096.0 * linear));
    }
    return t;
  }();
  return table.data();
}

double lab_cube_root(double x, double tolerance) {
  if (x == 0.0) return 0.0;
  if (x < 0.0) return -lab_cube_root(-x, tolerance);
  double d = (x * kRootStartScale + kRootStartOffset) * 0.5;
  for (int update = 0; update < 25; ++update) {
    const double square = d * d;
    if (std::fabs(square * d - x) < tolerance) return d;
    d = (d + x / square) * 0.5;
  }
  return d;
}

const int32_t *rgb_lab_start() {
  static const auto table = [] {
    std::array<int32_t, 4097> t{};
    for (int i = 0; i <= 4096; ++i) {
      const double p = i * kInv4095;
      const double single = static_cast<float>(p);
      const double v =
          p > kEpsilon ? lab_cube_root(single, kRootTolerance) : single * kSlope + kOffset;
      t[i] = truncate32(v * 16384.0);
    }
    return t;
  }();
  return table.data();
}

LabCoefficients labCoefficients(const JcxCompressObject *object) {
  const float fields[6] = {object->lab_l_min, object->lab_l_max, object->lab_a_min,
                           object->lab_a_max, object->lab_b_min, object->lab_b_max};
  float r[6];
  std::memcpy(r, kItuLab, sizeof r);
  // The object's ranges are taken in order, each only while all before it were taken.
  for (int i = 0; i < 3; ++i) {
    const double width = static_cast<double>(fields[2 * i + 1]) - fields[2 * i];
    if (!(width > 0.0)) break;
    r[2 * i] = fields[2 * i];
    r[2 * i + 1] = fields[2 * i + 1];
  }
  const double dL = static_cast<double>(r[1]) - r[0];
  const double dA = static_cast<double>(r[3]) - r[2];
  const double dB = static_cast<double>(r[5]) - r[4];
  LabCoefficients k;
  k.kL = truncate32(29696.0 / dL * 8.0);
  k.tL = truncate32((static_cast<double>(r[0]) + 16.0) * -256.0 / dL * 131072.0);
  k.kA = truncate32(128000.0 / dA * 8.0);
  k.tA = truncate32(static_cast<double>(r[2]) * -256.0 / dA * 131072.0);
  k.kB = truncate32(51200.0 / dB * 8.0);
  k.tB = truncate32(static_cast<double>(r[4]) * -256.0 / dB * 131072.0);
  return k;
}

void labPixel(const LabCoefficients &k, uint8_t r, uint8_t g, uint8_t b, uint8_t out[3]) {
  labOf(k, srgbTable(), rgb_lab_start(), r, g, b, out);
}

void storeCielabRanges(JcxCompressObject *object) {
  object->lab_l_min = kCieLab[0];
  object->lab_l_max = kCieLab[1];
  object->lab_a_min = kCieLab[2];
  object->lab_a_max = kCieLab[3];
  object->lab_b_min = kCieLab[4];
  object->lab_b_max = kCieLab[5];
}

void jinit_color_converter(JcxCompressObject *object) {
  object->converter = nullptr;
  if (object->labColorSpace == 0) return;  // the library's own conversions
  j_compress_ptr cinfo = &object->cinfo;
  const int inputs = cinfo->input_components;
  switch (cinfo->in_color_space) {
    case JCS_GRAYSCALE:
      if (inputs != 1) ERREXIT(cinfo, JERR_BAD_IN_COLORSPACE);
      break;
    case JCS_RGB:
    case JCS_YCbCr:
      if (inputs != 3) ERREXIT(cinfo, JERR_BAD_IN_COLORSPACE);
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      if (inputs != 4) ERREXIT(cinfo, JERR_BAD_IN_COLORSPACE);
      break;
    default:
      if (inputs < 1) ERREXIT(cinfo, JERR_BAD_IN_COLORSPACE);
      break;
  }
  if (cinfo->num_components != 3 && cinfo->num_components != 1)
    ERREXIT(cinfo, JERR_BAD_J_COLORSPACE);
  const bool itu = object->labColorSpace == JCX_CS_ITULAB;
  if (cinfo->in_color_space == JCS_RGB) {
    // The converted L*, a*, b* samples go in as YCbCr: the library copies them into a
    // YCbCr stream, or takes the first (L*) into a grey one.
    rgb_lab_start();
    object->converter = itu ? &kRgbItuLab : &kRgbCieLab;
    cinfo->in_color_space = JCS_YCbCr;
  } else if (cinfo->in_color_space == JCS_GRAYSCALE) {
    object->converter = itu ? &kGrayItuLab : nullptr;
  } else {
    ERREXIT(cinfo, JERR_CONVERSION_NOTIMPL);
  }
}

}  // namespace pxl::jpeg
