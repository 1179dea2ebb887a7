// Grey buffers combined with a 1-bit mask, and the clamped difference of two grey buffers.
//
// Mask: each mask byte (nibble at depth 8) is widened through a replication table into one
// field of ones per set bit, so one table look-up and one logical operation make a 32-bit
// word of grey pixels: AND NOT the widened mask paints masked pixels black (0), OR NOT it
// turns unmasked pixels white (all ones). Depth 1 is two rasterops instead (copy, combine).
//
// Difference: per word, the top bit of each field tells whether a >= b, found without
// borrows between fields ((a | H) - (b & L) never borrows past a field), spread over the
// field, and (a & t) - (b & t) subtracts every field at once; 64-bit words carry two.
#include <cstring>

#include "pxl_depth.h"
#include "pxl_image.h"
#include "pxl_pixrows.h"

namespace {

constexpr int32_t kFrame = 32;

inline uint8_t maskByte(const uint8_t *mask, int64_t k) {
  return mask[k ^ 3];
}
inline void storeWord(uint8_t *p, uint32_t v) {
  std::memcpy(p, &v, 4);
}
inline uint32_t loadWord(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// Widened mask of word i of a row at each depth.
struct Widen2 {
  const uint16_t *table;
  uint32_t operator()(const uint8_t *mask, int32_t i) const {
    return uint32_t{table[maskByte(mask, 2 * i)]} << 16 | table[maskByte(mask, 2 * i + 1)];
  }
};
struct Widen4 {
  const uint32_t *table;
  uint32_t operator()(const uint8_t *mask, int32_t i) const { return table[maskByte(mask, i)]; }
};
struct Widen8 {
  const uint32_t *table;
  uint32_t operator()(const uint8_t *mask, int32_t i) const {
    const uint8_t b = maskByte(mask, i / 2);
    return table[(i & 1) == 0 ? b >> 4 : b & 15];
  }
};

template <bool kOr, typename Widen>
int32_t maskRow(const uint8_t *src, const uint8_t *mask, uint8_t *dst, int32_t byteCount,
                Widen widen) {
  int32_t i = 0;
  for (; 4 * i < byteCount; ++i) {
    const uint32_t e = widen(mask, i), s = loadWord(src + 4 * i);
    storeWord(dst + 4 * i, kOr ? (s & ~e) : (s | ~e));
  }
  return 4 * i;
}

template <typename Table, typename Widen>
int32_t maskRows(PxlContext *ctx, int32_t (*build)(PxlContext *, int32_t, Table **),
                 int32_t (*rowFn)(PxlContext *, const uint8_t *, const uint8_t *, uint8_t *,
                                  int32_t, const Table *),
                 const uint8_t *src, int32_t srcBpr, const uint8_t *mask, int32_t maskBpr,
                 uint8_t *dst, int32_t dstBpr, int32_t depth, int32_t w, int32_t h, bool isOr) {
  Table *table = nullptr;
  if (const int32_t status = build(ctx, 1, &table); status != 0) return status;
  const int32_t byteCount = static_cast<int32_t>((int64_t{w} * depth + 7) / 8);
  const int64_t greyStart = 4 * depth;
  for (int32_t r = 0; r < h; ++r) {
    const int64_t row = kFrame + r;
    rowFn(ctx, src + row * srcBpr + greyStart, mask + row * maskBpr + 4,
          dst + row * dstBpr + greyStart, byteCount, table);
  }
  if (!isOr) pxlClearRowTails(ctx, dst + int64_t{kFrame} * dstBpr + greyStart, w, h, dstBpr, depth);
  ctx->release[PXL_SET_RECORDS](table, 0, ctx->user[PXL_SET_RECORDS]);
  return 0;
}

// Clamped difference of the words of one row: `Word` is the unit of work (32 or 64 bits).
template <typename Word, int kFieldBits>
Word clampedDiff(Word a, Word b) {
  constexpr Word kH = kFieldBits == 8 ? Word(0x8080808080808080ull) : Word(0x8888888888888888ull);
  constexpr Word kL = ~kH;
  Word t = ((a | kH) - (b & kL)) & ~((a ^ b) & kH) & kH;
  t |= a & kH & ~b;
  t |= t >> 1;
  t |= t >> 2;
  if constexpr (kFieldBits == 8) t |= t >> 4;
  return (a & t) - (b & t);
}

template <int kFieldBits>
void diffRow(const uint8_t *a, const uint8_t *b, int64_t words, uint8_t *dst) {
  int64_t i = 0;
  for (; i + 2 <= words; i += 2) {
    uint64_t x, y;
    std::memcpy(&x, a + 4 * i, 8);
    std::memcpy(&y, b + 4 * i, 8);
    const uint64_t d = clampedDiff<uint64_t, kFieldBits>(x, y);
    std::memcpy(dst + 4 * i, &d, 8);
  }
  if (i < words)
    storeWord(dst + 4 * i,
              clampedDiff<uint32_t, kFieldBits>(loadWord(a + 4 * i), loadWord(b + 4 * i)));
}

}  // namespace

extern "C" {

int32_t pxlGreyMaskRowAnd2(PxlContext *, const uint8_t *src, const uint8_t *mask, uint8_t *dst,
                           int32_t byteCount, const uint16_t *table) {
  return maskRow<false>(src, mask, dst, byteCount, Widen2{table});
}
int32_t pxlGreyMaskRowOr2(PxlContext *, const uint8_t *src, const uint8_t *mask, uint8_t *dst,
                          int32_t byteCount, const uint16_t *table) {
  return maskRow<true>(src, mask, dst, byteCount, Widen2{table});
}
int32_t pxlGreyMaskRowAnd4(PxlContext *, const uint8_t *src, const uint8_t *mask, uint8_t *dst,
                           int32_t byteCount, const uint32_t *table) {
  return maskRow<false>(src, mask, dst, byteCount, Widen4{table});
}
int32_t pxlGreyMaskRowOr4(PxlContext *, const uint8_t *src, const uint8_t *mask, uint8_t *dst,
                          int32_t byteCount, const uint32_t *table) {
  return maskRow<true>(src, mask, dst, byteCount, Widen4{table});
}
int32_t pxlGreyMaskRowAnd8(PxlContext *, const uint8_t *src, const uint8_t *mask, uint8_t *dst,
                           int32_t byteCount, const uint32_t *table) {
  return maskRow<false>(src, mask, dst, byteCount, Widen8{table});
}
int32_t pxlGreyMaskRowOr8(PxlContext *, const uint8_t *src, const uint8_t *mask, uint8_t *dst,
                          int32_t byteCount, const uint32_t *table) {
  return maskRow<true>(src, mask, dst, byteCount, Widen8{table});
}

int32_t pxlGreyMaskOpRaw(PxlContext *ctx, const uint8_t *src, int32_t fullWidth, int32_t fullHeight,
                         int32_t srcBytesPerRow, int32_t depth, const uint8_t *mask,
                         int32_t maskBytesPerRow, PxlRopCode op, uint8_t *dst,
                         int32_t dstBytesPerRow) {
  const int32_t w = fullWidth - 2 * kFrame, h = fullHeight - 2 * kFrame;
  const bool isOr = op == PXL_ROP_OR;
  if (depth == 1) {
    int32_t status = pxlRasterOpRaw(ctx, dst, fullWidth, fullHeight, 0, 0, 0, 0, fullWidth,
                                    fullHeight, 1, dstBytesPerRow, PXL_ROP_COPY | PXL_ROP_NOCLIP,
                                    src, fullWidth, fullHeight, 0, 0, 0, 0, 1, srcBytesPerRow);
    if (status == 0)
      status = pxlRasterOpRaw(ctx, dst, fullWidth, fullHeight, 0, 0, kFrame, kFrame, w, h, 1,
                              dstBytesPerRow, op | PXL_ROP_NOCLIP, mask, fullWidth, fullHeight,
                              kFrame, kFrame, 0, 0, 1, maskBytesPerRow);
    return status;
  }
  if (w <= 0 || h <= 0) return 0;
  switch (depth) {
    case 2:
      return maskRows<uint16_t, Widen2>(
          ctx, pxlBuildReplicate2Table, isOr ? pxlGreyMaskRowOr2 : pxlGreyMaskRowAnd2, src,
          srcBytesPerRow, mask, maskBytesPerRow, dst, dstBytesPerRow, depth, w, h, isOr);
    case 4:
      return maskRows<uint32_t, Widen4>(
          ctx, pxlBuildReplicate4Table, isOr ? pxlGreyMaskRowOr4 : pxlGreyMaskRowAnd4, src,
          srcBytesPerRow, mask, maskBytesPerRow, dst, dstBytesPerRow, depth, w, h, isOr);
    default:
      return maskRows<uint32_t, Widen8>(
          ctx, pxlBuildReplicate8Table, isOr ? pxlGreyMaskRowOr8 : pxlGreyMaskRowAnd8, src,
          srcBytesPerRow, mask, maskBytesPerRow, dst, dstBytesPerRow, 8, w, h, isOr);
  }
}

void pxlClippedDiffRow8(PxlContext *, const uint8_t *a, const uint8_t *b, int32_t width,
                        uint8_t *dst) {
  diffRow<8>(a, b, (int64_t{width} + 3) / 4, dst);
}

void pxlClippedDiffRow4(PxlContext *, const uint8_t *a, const uint8_t *b, int32_t width,
                        uint8_t *dst) {
  diffRow<4>(a, b, (int64_t{width} + 7) / 8, dst);
}

int32_t pxlClippedDiffRaw(PxlContext *ctx, const uint8_t *a, int32_t aBytesPerRow, const uint8_t *b,
                          int32_t bBytesPerRow, int32_t fullWidth, int32_t fullHeight,
                          int32_t depth, uint8_t *dst, int32_t dstBytesPerRow) {
  if (depth != 4 && depth != 8) return PXL_ERR_DEPTH;
  const int32_t w = fullWidth - 2 * kFrame, h = fullHeight - 2 * kFrame;
  const int64_t start = depth == 8 ? 32 : 16;
  auto row = depth == 8 ? pxlClippedDiffRow8 : pxlClippedDiffRow4;
  for (int32_t r = 0; r < h && w > 0; ++r) {
    const int64_t y = kFrame + r;
    row(ctx, a + y * aBytesPerRow + start, b + y * bBytesPerRow + start, w,
        dst + y * dstBytesPerRow + start);
  }
  return 0;
}

}  // extern "C"
