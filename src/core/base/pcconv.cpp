// Core images into bottom-up device-independent bitmap rows, the row routines that convert
// between core rows and byte-order rows, and the in-place row byte swap.
//
// Single-channel copies reverse the bytes of every 32-bit word (leftmost pixel first) and
// optionally invert; colour copies interleave three 8-bit channels into 3-byte pixels
// (channel 2, 1, 0: blue, green, red for a red-green-blue image). Bitmap rows are padded to
// 4 bytes and stored bottom row first. A row range outside the image gives 2. Band routines
// work four pixels (three output words) per step while four remain.
#include <climits>

#include "pxl_dib.h"
#include "pxl_pixr_internal.h"

namespace {
constexpr const char *kUnit = "pcconv";

// Pixel i of an 8-bit band in big-endian word order.
inline uint8_t *bandPixel(uint8_t *band, int32_t i) {
  return reinterpret_cast<uint8_t *>((reinterpret_cast<uintptr_t>(band) + i) ^ 3);
}

inline bool wordAligned(const uint8_t *a, const uint8_t *b, const uint8_t *c) {
  return ((reinterpret_cast<uintptr_t>(a) | reinterpret_cast<uintptr_t>(b) |
           reinterpret_cast<uintptr_t>(c)) &
          3) == 0;
}

// Resolves a (first row, row count) pair against the image height: a count of 0 means all
// rows from row 0; anything reaching outside 0..height-1 gives 2.
int32_t resolveRows(int32_t height, int32_t *first, int32_t *count) {
  if (*count == 0) {
    *first = 0;
    *count = height;
    return PXL_OK;
  }
  if (*first < 0 || *count < 0 || static_cast<int64_t>(*first) + *count > height)
    return PXL_ERR_PARAM;
  return PXL_OK;
}

// Bitmap stride for a row of `bits` bits: whole 32-bit units.
int32_t dibStride(int64_t bits, int32_t *stride) {
  const int64_t value = (bits + 31) / 32 * 4;
  if (value > INT32_MAX) return PXL_ERR_PARAM;
  *stride = static_cast<int32_t>(value);
  return PXL_OK;
}

}  // namespace

extern "C" {

void pxlPlanesToBgrRow(PxlContext *, uint8_t *dst, uint8_t *bandA, uint8_t *bandB, uint8_t *bandC,
                       int32_t count) {
  int32_t i = 0;
  if (wordAligned(bandA, bandB, bandC)) {
    for (; i + 4 <= count; i += 4) {
      const uint32_t a = pxl::loadWord(bandA + i), b = pxl::loadWord(bandB + i),
                     c = pxl::loadWord(bandC + i);
      // Bytes c0 b0 a0 c1 | b1 a1 c2 b2 | a2 c3 b3 a3, pixel 0 in each word's top byte.
      const uint32_t out[3] = {
          (c >> 24) | (b >> 24) << 8 | (a >> 24) << 16 | ((c >> 16) & 0xFF) << 24,
          ((b >> 16) & 0xFF) | ((a >> 16) & 0xFF) << 8 | ((c >> 8) & 0xFF) << 16 |
              ((b >> 8) & 0xFF) << 24,
          ((a >> 8) & 0xFF) | (c & 0xFF) << 8 | (b & 0xFF) << 16 | (a & 0xFF) << 24};
      std::memcpy(dst + 3 * static_cast<int64_t>(i), out, 12);
    }
  }
  for (; i < count; ++i) {
    uint8_t *p = dst + 3 * static_cast<int64_t>(i);
    p[0] = *bandPixel(bandC, i);
    p[1] = *bandPixel(bandB, i);
    p[2] = *bandPixel(bandA, i);
  }
}

void pxlBgrToPlanesRow(PxlContext *, uint8_t *src, uint8_t *bandA, uint8_t *bandB, uint8_t *bandC,
                       int32_t count) {
  int32_t i = 0;
  if (wordAligned(bandA, bandB, bandC)) {
    for (; i + 4 <= count; i += 4) {
      uint32_t in[3];
      std::memcpy(in, src + 3 * static_cast<int64_t>(i), 12);
      const auto byte = [&in](int k) -> uint32_t { return (in[k / 4] >> (8 * (k % 4))) & 0xFF; };
      pxl::storeWord(bandC + i, byte(0) << 24 | byte(3) << 16 | byte(6) << 8 | byte(9));
      pxl::storeWord(bandB + i, byte(1) << 24 | byte(4) << 16 | byte(7) << 8 | byte(10));
      pxl::storeWord(bandA + i, byte(2) << 24 | byte(5) << 16 | byte(8) << 8 | byte(11));
    }
  }
  for (; i < count; ++i) {
    const uint8_t *p = src + 3 * static_cast<int64_t>(i);
    *bandPixel(bandC, i) = p[0];
    *bandPixel(bandB, i) = p[1];
    *bandPixel(bandA, i) = p[2];
  }
}

int32_t pxlSwapRowBytes(PxlContext *ctx, uint8_t *data, int32_t bytesPerRow, int32_t rows) {
  PxlWordByteReverser reverse = nullptr;
  pxlSelectWordByteReverser(ctx, 0, 1, &reverse, nullptr, nullptr);
  const int32_t words = bytesPerRow / 4 > 0 ? bytesPerRow / 4 : 1;
  for (int64_t r = 0; r < rows; ++r) {
    auto *row = reinterpret_cast<uint32_t *>(data + r * bytesPerRow);
    reverse(ctx, row, row, words);
  }
  return PXL_OK;
}

int32_t pxlGetRowConverter(PxlContext *ctx, int32_t invert, int32_t kind, int32_t band,
                           PxlWordByteReverser *slotKind1, PxlWordByteReverser *slotKind0,
                           PxlWordByteReverser *slotOther, PxlBandRowFn *bandSlot) {
  PXL_STEP(
      ctx, kUnit,
      pxlSelectRowConverter(ctx, invert, kind, band, slotKind1, slotKind0, slotOther, bandSlot));
  return PXL_OK;
}

int32_t pxlCopyImageToDib(PxlContext *ctx, Pixr *image, int32_t invert, int32_t firstRow,
                          int32_t rowCount, uint8_t *buffer) {
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_ANY,
                            PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32));
  if (buffer == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  uint8_t *data = nullptr;
  int32_t depth = 0, width = 0, height = 0, stride = 0, dstStride = 0;
  PXL_STEP(ctx, kUnit, pxlGetImageData(ctx, image, &data));
  PXL_STEP(ctx, kUnit, pxlGetImageDepth(ctx, image, &depth));
  PXL_STEP(ctx, kUnit, pxlGetImageWidth(ctx, image, &width));
  PXL_STEP(ctx, kUnit, pxlGetImageHeight(ctx, image, &height));
  PXL_STEP(ctx, kUnit, pxlGetImageBytesPerRow(ctx, image, &stride));
  if (resolveRows(height, &firstRow, &rowCount) != 0 ||
      dibStride(static_cast<int64_t>(width) * depth, &dstStride) != 0)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_STEP(ctx, kUnit,
           pxlConvertRowsFlipped(ctx, buffer, data + static_cast<int64_t>(firstRow) * stride,
                                 rowCount, invert, dstStride, stride, 1));
  return PXL_OK;
}

int32_t pxlCopyColorImageToDib(PxlContext *ctx, Pixr *image, int32_t firstRow, int32_t rowCount,
                               uint8_t *buffer) {
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_8,
                            PXL_ACCEPT_CHANNELS_3, PXL_ACCEPT_FRAME_32));
  if (buffer == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  int32_t width = 0, height = 0, stride = 0, dstStride = 0;
  PXL_STEP(ctx, kUnit, pxlGetImageWidth(ctx, image, &width));
  PXL_STEP(ctx, kUnit, pxlGetImageHeight(ctx, image, &height));
  PXL_STEP(ctx, kUnit, pxlGetImageBytesPerRow(ctx, image, &stride));
  uint8_t *band[3] = {};
  for (int32_t c = 0; c < 3; ++c) {
    // Every channel is read with the main channel's geometry, so each must share it.
    Pixr *channel = nullptr;
    int32_t w = 0, h = 0, s = 0;
    PXL_STEP(ctx, kUnit, pxlGetImageChannel(ctx, image, c, &channel));
    PXL_STEP(ctx, kUnit,
             pxlValidateImage(ctx, channel, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_8,
                              PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32));
    PXL_STEP(ctx, kUnit, pxlGetImageWidth(ctx, channel, &w));
    PXL_STEP(ctx, kUnit, pxlGetImageHeight(ctx, channel, &h));
    PXL_STEP(ctx, kUnit, pxlGetImageBytesPerRow(ctx, channel, &s));
    if (w != width || h != height || s != stride)
      return PXL_FAIL(ctx, kUnit, PXL_ERR_SIZE_MISMATCH);
    PXL_STEP(ctx, kUnit, pxlGetImageData(ctx, channel, &band[c]));
  }
  if (resolveRows(height, &firstRow, &rowCount) != 0 ||
      dibStride(static_cast<int64_t>(width) * 24, &dstStride) != 0)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  const int64_t start = static_cast<int64_t>(firstRow) * stride;
  PXL_STEP(ctx, kUnit,
           pxlMergeBandsFlipped(ctx, buffer, band[0] + start, band[1] + start, band[2] + start,
                                rowCount, width, dstStride, stride, 1));
  return PXL_OK;
}

}  // extern "C"
