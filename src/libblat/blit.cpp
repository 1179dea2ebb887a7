// Word blits of packed bitmaps: OR with and without clipping, and the clipped blit with any of
// the JBIG2 combination operators.
//
// Every blit reduces to a rectangle of source bits (start column, start row, width, rows)
// combined row by row into the destination by the word kernel of its operator. Clipping cuts
// the placed source rectangle to the clip rectangle in 64-bit arithmetic; the source then
// starts at its first visible column and row, and a blit with nothing left does nothing.
// Row addresses are computed in 64-bit arithmetic, so large strides and row numbers do not
// wrap.
#include <algorithm>

#include "bitrow.h"
#include "blit_ops.h"
#include "qtz_blat.h"

namespace {

// A source rectangle placed in the destination.
struct Placement {
  int64_t srcX, srcY;  // first source column and row
  int64_t dstX, dstY;  // where they land
  int64_t width, rows;
};

// A rectangle at most 32 bits wide (the glyphs of text regions, mostly) meets one or two
// destination words per row: each row's span is gathered into one word, left-aligned, and
// combined under masks worked out once for the rectangle. Only source words that hold bits of
// the span are read.
template <class Op>
void blitNarrow(uint32_t *dst, int64_t dstStride, const uint32_t *src, int64_t srcStride,
                const Placement &p) {
  const int64_t lowWord = p.srcX >> 5;
  const uint32_t shift = static_cast<uint32_t>(p.srcX & 31);
  const bool twoSourceWords = ((p.srcX + p.width - 1) >> 5) > lowWord;
  const uint32_t span = ~0u << (32 - p.width);
  const uint32_t offset = static_cast<uint32_t>(p.dstX & 31);
  const uint64_t mask = (uint64_t{span} << 32) >> offset;
  const uint32_t highMask = static_cast<uint32_t>(mask >> 32),
                 lowMask = static_cast<uint32_t>(mask);
  const bool twoDestWords = lowMask != 0;
  for (int64_t r = 0; r < p.rows; ++r) {
    const uint32_t *s = src + (p.srcY + r) * srcStride + lowWord;
    uint32_t bits = s[0] << shift;
    if (twoSourceWords) bits |= s[1] >> (32 - shift);
    const uint64_t placed = (uint64_t{bits & span} << 32) >> offset;
    uint32_t *d = dst + (p.dstY + r) * dstStride + (p.dstX >> 5);
    d[0] = (d[0] & ~highMask) | (Op::apply(static_cast<uint32_t>(placed >> 32), d[0]) & highMask);
    if (twoDestWords)
      d[1] = (d[1] & ~lowMask) | (Op::apply(static_cast<uint32_t>(placed), d[1]) & lowMask);
  }
}

template <class Op>
void blitRect(uint32_t *dst, int64_t dstStride, const uint32_t *src, int64_t srcStride,
              const Placement &p) {
  if (p.width <= 0 || p.rows <= 0) return;
  if (p.width <= 32) return blitNarrow<Op>(dst, dstStride, src, srcStride, p);
  for (int64_t r = 0; r < p.rows; ++r)
    qtz::blitRow<Op>(dst + (p.dstY + r) * dstStride, src + (p.srcY + r) * srcStride, p.srcX, p.dstX,
                     p.width);
}

// The source at (x, y) cut to x0 <= x < x1, y0 <= y < y1.
Placement clip(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t srcWidth, int64_t srcRows,
               int64_t x, int64_t y) {
  const int64_t left = std::max(x, x0), top = std::max(y, y0);
  const int64_t right = std::min(x + srcWidth, x1), bottom = std::min(y + srcRows, y1);
  return Placement{left - x, top - y, left, top, right - left, bottom - top};
}

}  // namespace

namespace qtz {

void blitWithOp(uint32_t *dst, int64_t dstStride, const uint32_t *src, int64_t srcStride,
                int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t srcWidth, int64_t srcRows,
                int64_t x, int64_t y, QtzBlitOp op) {
  const Placement p = clip(x0, y0, x1, y1, srcWidth, srcRows, x, y);
  switch (op) {
    case QTZ_BLIT_XOR:
      return blitRect<OpXor>(dst, dstStride, src, srcStride, p);
    case QTZ_BLIT_AND:
      return blitRect<OpAnd>(dst, dstStride, src, srcStride, p);
    case QTZ_BLIT_XNOR:
      return blitRect<OpXnor>(dst, dstStride, src, srcStride, p);
    case QTZ_BLIT_REPLACE:
      return blitRect<OpReplace>(dst, dstStride, src, srcStride, p);
    case QTZ_BLIT_OR:
      return blitRect<OpOr>(dst, dstStride, src, srcStride, p);
    case QTZ_BLIT_AND_NOT:
      return blitRect<OpAndNot>(dst, dstStride, src, srcStride, p);
    default:  // any other code does nothing
      return;
  }
}

}  // namespace qtz

extern "C" {

void QtzBlat_blitBitsClipLR(uint32_t *dst, int32_t dstStride, const uint32_t *src,
                            int32_t srcStride, int32_t srcX0, int32_t width, int32_t rows,
                            int32_t dstX, int32_t dstY, QtzState *state) {
  blitRect<qtz::OpOr>(dst, dstStride, src, srcStride, Placement{srcX0, 0, dstX, dstY, width, rows});
}

void QtzBlat_blitBitsOr(uint32_t *dst, int32_t dstStride, const uint32_t *src, int32_t srcStride,
                        int32_t srcWidth, int32_t srcRows, int32_t x, int32_t y, QtzState *state) {
  blitRect<qtz::OpOr>(dst, dstStride, src, srcStride, Placement{0, 0, x, y, srcWidth, srcRows});
}

void QtzBlat_blitBitsOrClip(uint32_t *dst, int32_t dstStride, int32_t x0, int32_t y0, int32_t x1,
                            int32_t y1, const uint32_t *src, int32_t srcStride, int32_t srcWidth,
                            int32_t srcRows, int32_t x, int32_t y, QtzState *state) {
  qtz::blitWithOp(dst, dstStride, src, srcStride, x0, y0, x1, y1, srcWidth, srcRows, x, y,
                  QTZ_BLIT_OR);
}

void QtzBlat_blitBitsOpClip(uint32_t *dst, int32_t dstStride, int32_t x0, int32_t y0, int32_t x1,
                            int32_t y1, const uint32_t *src, int32_t srcStride, int32_t srcWidth,
                            int32_t srcRows, int32_t x, int32_t y, QtzBlitOp op, QtzState *state) {
  qtz::blitWithOp(dst, dstStride, src, srcStride, x0, y0, x1, y1, srcWidth, srcRows, x, y, op);
}

}  // extern "C"
