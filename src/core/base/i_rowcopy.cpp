// Row copies between packed rows at any pixel-order byte offset, and row-tail masking.
//
// pxlCopyRowBytes writes exactly n pixel-order bytes: the destination word holding the first
// byte keeps the bytes before it and the word holding the last byte keeps the bytes after
// it, so rows packed back to back in an exactly sized unframed buffer do not overrun each
// other or the buffer's end. Misaligned copies combine two neighbouring source words per
// destination word (a shift pair), working from the last word back to the first so that a
// row may be moved forwards within its own buffer. pxlCopyRowWithFrame writes a content row
// together with its left and right frame strips. The tail routines clear the bits after a
// row's last pixel, writing only words that actually carry such bits.
#include <climits>

#include "pxl_internal.h"
#include "pxl_pixr_internal.h"

namespace {
constexpr const char *kUnit = "i_rowcopy";

using pxl::loadWord;
using pxl::storeWord;

// Destination word j of a copy whose destination starts shift bits into its first word:
// the tail of source word j - 1 followed by the head of source word j. Source words outside
// 0..srcWords-1 are not read.
inline uint32_t shiftedWord(const uint8_t *src, int64_t j, int64_t srcWords, int32_t shift) {
  uint32_t v = 0;
  if (j > 0) v = loadWord(src + 4 * (j - 1)) << (32 - shift);
  if (j < srcWords) v |= loadWord(src + 4 * j) >> shift;
  return v;
}

inline void storeMasked(uint8_t *p, uint32_t value, uint32_t mask) {
  storeWord(p, (loadWord(p) & ~mask) | (value & mask));
}

// Keep mask of a row of `bits` bits (bits > 0): the row's bits of its last word.
inline uint32_t keepMaskForBits(int64_t bits) {
  return pxl::maskUpTo(static_cast<int32_t>((bits - 1) % 32) + 1);
}

}  // namespace

extern "C" {

void pxlCopyRowBytes(PxlContext *, uint8_t *dst, const uint8_t *src, int32_t n) {
  if (n <= 0) return;
  const int32_t m = static_cast<int32_t>(reinterpret_cast<uintptr_t>(dst) & 3);
  uint8_t *base = dst - m;
  if (m == 0) {
    const int64_t full = n / 4;
    std::memmove(base, src, static_cast<size_t>(full) * 4);
    if (n % 4 != 0)
      storeMasked(base + 4 * full, loadWord(src + 4 * full), pxl::maskUpTo(8 * (n % 4)));
    return;
  }
  const int32_t shift = 8 * m;
  const int64_t srcWords = (static_cast<int64_t>(n) + 3) / 4;
  const int64_t end = static_cast<int64_t>(m) + n;  // byte end within the destination words
  const int64_t last = (end - 1) / 4;
  const int32_t endInLast = static_cast<int32_t>(end - 4 * last);  // 1..4 bytes
  if (last == 0) {
    storeMasked(base, shiftedWord(src, 0, srcWords, shift),
                pxl::maskFrom(shift) & pxl::maskUpTo(8 * endInLast));
    return;
  }
  storeMasked(base + 4 * last, shiftedWord(src, last, srcWords, shift),
              pxl::maskUpTo(8 * endInLast));
  for (int64_t j = last - 1; j > 0; --j)
    storeWord(base + 4 * j,
              (loadWord(src + 4 * (j - 1)) << (32 - shift)) | (loadWord(src + 4 * j) >> shift));
  storeMasked(base, loadWord(src) >> shift, pxl::maskFrom(shift));
}

void pxlCopyRowWithFrame(PxlContext *, uint8_t *dstRow, const uint8_t *src, int32_t n,
                         int32_t frameBytes, uint32_t keepMask) {
  std::memset(dstRow, 0, static_cast<size_t>(frameBytes));
  uint8_t *content = dstRow + frameBytes;
  const int64_t words = n > 0 ? (static_cast<int64_t>(n) + 3) / 4 : 0;
  if (words > 0) {
    const int32_t s = static_cast<int32_t>(reinterpret_cast<uintptr_t>(src) & 3);
    if (s == 0) {
      std::memmove(content, src, static_cast<size_t>(words) * 4);
    } else {
      const uint8_t *base = src - s;
      const int32_t shift = 8 * s;
      const int64_t srcWords = (static_cast<int64_t>(s) + n + 3) / 4;
      for (int64_t j = words - 1; j >= 0; --j) {
        uint32_t v = loadWord(base + 4 * j) << shift;
        if (j + 1 < srcWords) v |= loadWord(base + 4 * (j + 1)) >> (32 - shift);
        storeWord(content + 4 * j, v);
      }
    }
    uint8_t *lastWord = content + 4 * (words - 1);
    storeWord(lastWord, loadWord(lastWord) & keepMask);
  }
  std::memset(content + 4 * words, 0, static_cast<size_t>(frameBytes));
}

void pxlMaskRowTails(PxlContext *, uint32_t *lastWord, int32_t bytesPerRow, int32_t rows,
                     uint32_t keepMask, uint32_t clearMask) {
  auto *p = reinterpret_cast<uint8_t *>(lastWord);
  for (int32_t r = 0; r < rows; ++r, p += bytesPerRow) {
    const uint32_t w = loadWord(p);
    if ((w & clearMask) != 0) storeWord(p, w & keepMask);
  }
}

int32_t pxlClearRowTails(PxlContext *ctx, uint8_t *data, int32_t width, int32_t rows,
                         int32_t bytesPerRow, int32_t depth) {
  if (depth != 1 && depth != 2 && depth != 4 && depth != 8) {
    pxlTraceError(ctx, kUnit, __LINE__, PXL_ERR_PARAM);
    return PXL_ERR_PARAM;
  }
  const int64_t bits = static_cast<int64_t>(width) * depth;
  if (bits <= 0 || bits % 32 == 0) return PXL_OK;
  const uint32_t keep = keepMaskForBits(bits);
  pxlMaskRowTails(ctx, reinterpret_cast<uint32_t *>(data + 4 * ((bits - 1) / 32)), bytesPerRow,
                  rows, keep, ~keep);
  return PXL_OK;
}

int32_t pxlCopyFramedRowsOut(PxlContext *ctx, const uint8_t *framedData, int32_t fullWidth,
                             int32_t fullHeight, int32_t depth, int32_t bytesPerRow, uint8_t *out,
                             int32_t outBytesPerRow) {
  if (bytesPerRow == 0) return PXL_OK;
  const int64_t width = static_cast<int64_t>(fullWidth) - 64;
  const int64_t rows = static_cast<int64_t>(fullHeight) - 64;
  if (width <= 0 || rows <= 0) return PXL_OK;  // empty content: nothing to copy
  const int64_t n = (width * depth + 7) / 8;
  if (depth <= 0 || n > INT32_MAX) {
    pxlTraceError(ctx, kUnit, __LINE__, PXL_ERR_PARAM);
    return PXL_ERR_PARAM;
  }
  const uint8_t *src = framedData + 32 * static_cast<int64_t>(bytesPerRow) + 4 * depth;
  for (int64_t r = 0; r < rows; ++r)
    pxlCopyRowBytes(ctx, out + r * outBytesPerRow, src + r * bytesPerRow, static_cast<int32_t>(n));
  return PXL_OK;
}

int32_t pxlCopyFramedContent(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                             int32_t fullHeight, int32_t depth, int32_t srcBytesPerRow,
                             uint8_t *dst, int32_t dstBytesPerRow) {
  const int64_t width = static_cast<int64_t>(fullWidth) - 64;
  const int64_t rows = static_cast<int64_t>(fullHeight) - 64;
  const int64_t bits = width * depth;
  if (depth <= 0 || (bits + 7) / 8 > INT32_MAX) {
    pxlTraceError(ctx, kUnit, __LINE__, PXL_ERR_PARAM);
    return PXL_ERR_PARAM;
  }
  if (bits <= 0 || rows <= 0) return PXL_OK;
  const int64_t frameBytes = 4 * static_cast<int64_t>(depth);
  const uint8_t *s = src + 32 * static_cast<int64_t>(srcBytesPerRow) + frameBytes;
  uint8_t *d = dst + 32 * static_cast<int64_t>(dstBytesPerRow) + frameBytes;
  for (int64_t r = 0; r < rows; ++r)
    pxlCopyRowBytes(ctx, d + r * dstBytesPerRow, s + r * srcBytesPerRow,
                    static_cast<int32_t>((bits + 7) / 8));
  if (bits % 32 != 0) {
    const uint32_t keep = keepMaskForBits(bits);
    pxlMaskRowTails(ctx, reinterpret_cast<uint32_t *>(d + 4 * ((bits - 1) / 32)), dstBytesPerRow,
                    static_cast<int32_t>(rows), keep, ~keep);
  }
  return PXL_OK;
}

}  // extern "C"
