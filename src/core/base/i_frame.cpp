// Framed buffer layout, frame and spill clearing, and copying unframed rows into a frame.
//
// Layout for width W, height H, depth D, frame F and processing unit U (4 or 8 bytes):
// bytes per row = 2*F*D/8 + ceil(W*D / 8U) * U; the block holds the rows rounded up so that
// rows*D is a multiple of 8U bits, plus the two frame strips, plus 4 spare bytes that let
// the content start move to an 8-byte boundary. All of it is computed in 64 bits; a size
// that is negative or does not fit (bytes per row beyond 32 bits, block beyond 63 bits)
// gives 2, never a wrapped small block; so does a framed width or height beyond 32 bits.
//
// Frames and spill are cleared by clearing pixel spans of each row in whole words (edge
// words masked), which works at every depth, 32 included, and cannot fail once the
// arguments are checked.
#include <climits>

#include "pxl_internal.h"
#include "pxl_pixr_internal.h"

namespace {
constexpr const char *kUnit = "i_frame";

// Copies rows from the last to the first into a 32-pixel frame and clears the top and bottom
// strips; the source rows may lie in the same block, before their framed places.
void copyRowsFramed(PxlContext *ctx, const uint8_t *src, int32_t width, int32_t rows, int32_t depth,
                    int32_t srcBytesPerRow, uint8_t *dst, int32_t dstBytesPerRow) {
  const int64_t bits = static_cast<int64_t>(width) * depth;
  const uint32_t keep = bits > 0 ? pxl::maskUpTo(static_cast<int32_t>((bits - 1) % 32) + 1) : 0;
  const auto n = static_cast<int32_t>((bits + 7) / 8);
  for (int64_t y = static_cast<int64_t>(rows) - 1; y >= 0; --y)
    pxlCopyRowWithFrame(ctx, dst + (32 + y) * dstBytesPerRow, src + y * srcBytesPerRow, n,
                        4 * depth, keep);
  pxl::clearPixelRect(dst, dstBytesPerRow, depth, 0, 0, width + 64, 32);
  pxl::clearPixelRect(dst, dstBytesPerRow, depth, 0, rows + 32, width + 64, 32);
}

// Arguments of the framing copies: depth 1 to 32, non-negative sizes whose framed rows fit.
bool framingArgsOk(int32_t width, int32_t rows, int32_t depth) {
  return depth >= 1 && depth <= 32 && width >= 0 && rows >= 0 &&
         (static_cast<int64_t>(width) + 64) * depth / 8 <= INT32_MAX && rows <= INT32_MAX - 64;
}

}  // namespace

namespace pxl {

void clearBitSpan(uint8_t *row, int64_t from, int64_t to) {
  if (from >= to) return;
  const int64_t w0 = from / 32, w1 = (to - 1) / 32;
  const uint32_t first = maskFrom(static_cast<int32_t>(from % 32));
  const uint32_t last = maskUpTo(static_cast<int32_t>((to - 1) % 32) + 1);
  uint8_t *p0 = row + 4 * w0, *p1 = row + 4 * w1;
  if (w0 == w1) {
    storeWord(p0, loadWord(p0) & ~(first & last));
    return;
  }
  storeWord(p0, loadWord(p0) & ~first);
  std::memset(p0 + 4, 0, static_cast<size_t>(w1 - w0 - 1) * 4);
  storeWord(p1, loadWord(p1) & ~last);
}

void clearPixelRect(uint8_t *framed, int32_t bytesPerRow, int32_t depth, int32_t x, int32_t y,
                    int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return;
  const int64_t from = static_cast<int64_t>(x) * depth;
  const int64_t to = (static_cast<int64_t>(x) + width) * depth;
  uint8_t *row = framed + static_cast<int64_t>(y) * bytesPerRow;
  for (int32_t r = 0; r < height; ++r, row += bytesPerRow) clearBitSpan(row, from, to);
}

}  // namespace pxl

extern "C" {

int32_t pxlComputeFramedLayout(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                               int32_t frame, int32_t *bytesPerRow, int64_t *blockSize) {
  if (bytesPerRow == nullptr || blockSize == nullptr) return PXL_TRACE(ctx, kUnit, PXL_ERR_PARAM);
  int32_t unit = 4;
  pxlGetProcessingUnit(ctx, &unit);
  if (unit != 4 && unit != 8) return PXL_TRACE(ctx, kUnit, PXL_ERR_INTERNAL);
  if (width < 0 || height < 0 || frame < 0 || depth < 1 || depth > 32 ||
      static_cast<int64_t>(width) + 2 * static_cast<int64_t>(frame) > INT32_MAX ||
      static_cast<int64_t>(height) + 2 * static_cast<int64_t>(frame) > INT32_MAX)
    return PXL_TRACE(ctx, kUnit, PXL_ERR_PARAM);
  const int64_t unitBits = 8 * unit;
  const int64_t stride = 2 * static_cast<int64_t>(frame) * depth / 8 +
                         (static_cast<int64_t>(width) * depth + unitBits - 1) / unitBits * unit;
  if (stride > INT32_MAX) return PXL_TRACE(ctx, kUnit, PXL_ERR_PARAM);
  const int64_t rows =
      (static_cast<int64_t>(height) * depth + unitBits - 1) / unitBits * unitBits / depth;
  int64_t size = 0;
  if (__builtin_mul_overflow(stride, rows + 2 * static_cast<int64_t>(frame), &size) ||
      size > INT64_MAX - 4)
    return PXL_TRACE(ctx, kUnit, PXL_ERR_PARAM);
  *bytesPerRow = static_cast<int32_t>(stride);
  *blockSize = size + 4;
  return PXL_OK;
}

int32_t pxlComputeContentOffsetRaw(PxlContext *ctx, const void *block, int32_t bytesPerRow,
                                   int32_t depth, int32_t frame, int64_t *offset) {
  if (offset == nullptr) return PXL_TRACE(ctx, kUnit, PXL_ERR_PARAM);
  int64_t value =
      static_cast<int64_t>(frame) * bytesPerRow + static_cast<int64_t>(frame) * depth / 8;
  int32_t unit = 4;
  pxlGetProcessingUnit(ctx, &unit);
  if (unit == 8 && ((reinterpret_cast<uintptr_t>(block) + static_cast<uint64_t>(value)) & 7) != 0)
    value += 4;
  *offset = value;
  return PXL_OK;
}

int32_t pxlClearFrameRaw(PxlContext *ctx, uint8_t *framedData, int32_t fullWidth,
                         int32_t fullHeight, int32_t bytesPerRow, int32_t depth) {
  if (framedData == nullptr || depth < 1 || depth > 32 || fullWidth < 64 || fullHeight < 64 ||
      static_cast<int64_t>(fullWidth) * depth > 8 * static_cast<int64_t>(bytesPerRow))
    return PXL_TRACE(ctx, kUnit, PXL_ERR_PARAM);
  const int32_t inner = fullHeight - 64;
  pxl::clearPixelRect(framedData, bytesPerRow, depth, 0, 0, fullWidth, 32);
  pxl::clearPixelRect(framedData, bytesPerRow, depth, 0, 32, 32, inner);
  pxl::clearPixelRect(framedData, bytesPerRow, depth, fullWidth - 32, 32, 32, inner);
  pxl::clearPixelRect(framedData, bytesPerRow, depth, 0, fullHeight - 32, fullWidth, 32);
  return PXL_OK;
}

int32_t pxlClearSpillRaw(PxlContext *ctx, uint8_t *framedData, int32_t fullWidth,
                         int32_t fullHeight, int32_t bytesPerRow, int32_t depth, int32_t columns,
                         int32_t rows) {
  if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16)
    return PXL_TRACE(ctx, kUnit, PXL_ERR_PARAM);
  if (columns > 32 || rows > 32 || fullWidth < 64 || fullHeight < 64)
    return PXL_TRACE(ctx, kUnit, PXL_ERR_PARAM);
  const int64_t contentBits = (static_cast<int64_t>(fullWidth) - 64) * depth;
  const int32_t inner = fullHeight - 64;
  if (columns > 0) {
    const int64_t tail = contentBits % 32;
    if (tail != 0 && tail + static_cast<int64_t>(columns) * depth <= 32) {
      // The spill lies in each row's last content word: clear the bits after the last pixel.
      const uint32_t keep = pxl::maskUpTo(static_cast<int32_t>(tail));
      uint8_t *word = framedData + 32 * static_cast<int64_t>(bytesPerRow) +
                      4 * static_cast<int64_t>(depth) + 4 * ((contentBits - 1) / 32);
      pxlMaskRowTails(ctx, reinterpret_cast<uint32_t *>(word), bytesPerRow, inner, keep, ~keep);
    } else {
      pxl::clearPixelRect(framedData, bytesPerRow, depth, fullWidth - 32, 32, columns, inner);
    }
  }
  if (rows > 0)
    pxl::clearPixelRect(framedData, bytesPerRow, depth, 0, fullHeight - 32, fullWidth, rows);
  return PXL_OK;
}

int32_t pxlCopyRowsIntoFrame(PxlContext *ctx, const uint8_t *src, int32_t width, int32_t rows,
                             int32_t depth, int32_t srcBytesPerRow, uint8_t *dst,
                             int32_t dstBytesPerRow) {
  if (srcBytesPerRow == 0) return PXL_OK;
  if (!framingArgsOk(width, rows, depth)) return PXL_TRACE(ctx, kUnit, PXL_ERR_PARAM);
  copyRowsFramed(ctx, src, width, rows, depth, srcBytesPerRow, dst, dstBytesPerRow);
  return PXL_OK;
}

int32_t pxlFrameRowsInPlace(PxlContext *ctx, uint8_t *data, int32_t width, int32_t rows,
                            int32_t depth, int32_t oldBytesPerRow) {
  if (oldBytesPerRow == 0) return PXL_OK;
  int32_t stride = 0;
  int64_t size = 0;
  if (pxlComputeFramedLayout(ctx, width, rows, depth, 32, &stride, &size) != 0 ||
      !framingArgsOk(width, rows, depth))
    return PXL_TRACE(ctx, kUnit, PXL_ERR_INTERNAL);
  copyRowsFramed(ctx, data, width, rows, depth, oldBytesPerRow, data, stride);
  return PXL_OK;
}

}  // extern "C"
