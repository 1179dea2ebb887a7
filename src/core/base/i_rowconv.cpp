// Row-routine selection and the drivers that run a row routine over two buffers whose rows
// run in opposite directions (core images top-down, device-independent bitmaps bottom-up).
//
// Kinds: 0 converts from a byte-order buffer into core rows, 1 and 2 from core rows into a
// byte-order buffer. Single-channel rows use the word byte-reversal routines (inverting on
// request); the band flag selects the three-band interleaving routines instead.
#include "pxl_dib.h"
#include "pxl_internal.h"

namespace {
constexpr const char *kUnit = "i_rowconv";
}  // namespace

extern "C" {

int32_t pxlSelectRowConverter(PxlContext *ctx, int32_t invert, int32_t kind, int32_t band,
                              PxlWordByteReverser *slotKind1, PxlWordByteReverser *slotKind0,
                              PxlWordByteReverser *slotOther, PxlBandRowFn *bandSlot) {
  if (band != 0) {
    if (bandSlot == nullptr) return PXL_TRACE(ctx, kUnit, PXL_ERR_PARAM);
    *bandSlot = kind == 0 ? pxlBgrToPlanesRow : pxlPlanesToBgrRow;
    return PXL_OK;
  }
  PxlWordByteReverser *slot = kind == 1 ? slotKind1 : kind == 0 ? slotKind0 : slotOther;
  if (slot == nullptr) return PXL_TRACE(ctx, kUnit, PXL_ERR_PARAM);
  pxlSelectWordByteReverser(ctx, invert, kind, slotKind1, slotKind0, slotOther);
  return PXL_OK;
}

int32_t pxlConvertRowsFlipped(PxlContext *ctx, uint8_t *first, uint8_t *second, int32_t rows,
                              int32_t invert, int32_t firstBytesPerRow, int32_t secondBytesPerRow,
                              int32_t kind) {
  PxlWordByteReverser routine = nullptr;
  pxlSelectRowConverter(ctx, invert, kind, 0, &routine, &routine, &routine, nullptr);
  if (routine == nullptr) return PXL_TRACE(ctx, kUnit, PXL_ERR_NOT_IMPLEMENTED);
  const int32_t words = firstBytesPerRow / 4;
  if (words <= 0) return PXL_OK;
  for (int64_t i = 0; i < rows; ++i) {
    auto *a = reinterpret_cast<uint32_t *>(first + i * firstBytesPerRow);
    auto *b = reinterpret_cast<uint32_t *>(second + (rows - 1 - i) * secondBytesPerRow);
    if (kind == 0)
      routine(ctx, a, b, words);
    else
      routine(ctx, b, a, words);
  }
  return PXL_OK;
}

int32_t pxlMergeBandsFlipped(PxlContext *ctx, uint8_t *dst, uint8_t *bandA, uint8_t *bandB,
                             uint8_t *bandC, int32_t rows, int32_t width, int32_t dstBytesPerRow,
                             int32_t srcBytesPerRow, int32_t kind) {
  PxlBandRowFn routine = nullptr;
  pxlSelectRowConverter(ctx, 0, kind, 1, nullptr, nullptr, nullptr, &routine);
  for (int64_t i = 0; i < rows; ++i) {
    const int64_t src = (rows - 1 - i) * static_cast<int64_t>(srcBytesPerRow);
    routine(ctx, dst + i * dstBytesPerRow, bandA + src, bandB + src, bandC + src, width);
  }
  return PXL_OK;
}

}  // extern "C"
