// Blits between packed bilevel image records, and setting every pixel of a record.
//
// The source's first pixel lands at (x + src xoff - dst xoff, y + src yoff - dst yoff) of the
// destination's rows, and the blit is clipped to the destination; rows are addressed from
// each record's first row with its bytesPerLine cut down to whole words. QtzBlat_blitImage
// accepts the operators XOR, AND, XNOR, REPLACE and OR (as the JBIG2 decoder composes regions)
// and refuses the others with 10006, reported as "bad blitop" through the source's state.
#include "blit_ops.h"
#include "qtz_image_internal.h"

namespace {

constexpr char kBadOp[] = "bad blitop";

bool imageOp(QtzBlitOp op) {
  return op == QTZ_BLIT_XOR || op == QTZ_BLIT_AND || op == QTZ_BLIT_XNOR ||
         op == QTZ_BLIT_REPLACE || op == QTZ_BLIT_OR;
}

void blitRecords(QtzImage *dst, const QtzImage *src, int64_t x, int64_t y, QtzBlitOp op) {
  if (dst->rows == nullptr || src->rows == nullptr) return;
  const QtzImageHeader &d = dst->hdr, &s = src->hdr;
  qtz::blitWithOp(qtz::packedRow(dst, 0), d.bytesPerLine / 4, qtz::packedRow(src, 0),
                  s.bytesPerLine / 4, 0, 0, d.width, d.height, s.width, s.height,
                  x + s.xoff - d.xoff, y + s.yoff - d.yoff, op);
}

}  // namespace

extern "C" {

void QtzBlat_blitImageOr(QtzImage *dst, const QtzImage *src, int32_t x, int32_t y) {
  // Rows of other pixel types are too short for packed words: such records are left alone.
  if (dst == nullptr || src == nullptr || dst->hdr.type != QTZ_IMAGE_PACKED ||
      src->hdr.type != QTZ_IMAGE_PACKED)
    return;
  blitRecords(dst, src, x, y, QTZ_BLIT_OR);
}

int32_t QtzBlat_blitImage(QtzImage *dst, const QtzImage *src, int32_t x, int32_t y, QtzBlitOp op) {
  if (dst == nullptr || src == nullptr) return QTZ_ERR_ASSERT;
  if (!imageOp(op)) return qtz::reportText(src->state, QTZ_BLAT_ERR_BAD_OP, kBadOp);
  if (dst->hdr.type != QTZ_IMAGE_PACKED || src->hdr.type != QTZ_IMAGE_PACKED) return QTZ_ERR_ASSERT;
  blitRecords(dst, src, x, y, op);
  return QTZ_OK;
}

void QtzBlat_setImageBits(QtzImage *image) {
  if (image == nullptr || image->rows == nullptr || image->hdr.type != QTZ_IMAGE_PACKED) return;
  const QtzImageHeader &h = image->hdr;
  const int64_t whole = h.width / 32;
  const int32_t rest = h.width % 32;
  for (int64_t i = 0; i < h.height; ++i) {
    uint32_t *row = qtz::packedRow(image, i);
    for (int64_t k = 0; k < whole; ++k) row[k] = ~0u;
    if (rest != 0) row[whole] = ~(~0u >> rest);
  }
}

}  // extern "C"
