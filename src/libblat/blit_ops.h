// The blit operators as word functions of source s and destination d, and the clipped blit
// that the word-level and image-level entry points share.
#ifndef QTZ_BLIT_OPS_H
#define QTZ_BLIT_OPS_H

#include <cstdint>

#include "qtz_blat.h"

namespace qtz {

struct OpXor {
  static uint32_t apply(uint32_t s, uint32_t d) { return d ^ s; }
};
struct OpAnd {
  static uint32_t apply(uint32_t s, uint32_t d) { return d & s; }
};
struct OpXnor {
  static uint32_t apply(uint32_t s, uint32_t d) { return ~(d ^ s); }
};
struct OpReplace {
  static uint32_t apply(uint32_t s, uint32_t) { return s; }
};
struct OpOr {
  static uint32_t apply(uint32_t s, uint32_t d) { return d | s; }
};
struct OpAndNot {
  static uint32_t apply(uint32_t s, uint32_t d) { return d & ~s; }
};

// Combines a srcWidth x srcRows source placed at (x, y) into the destination, clipped to
// x0 <= x < x1, y0 <= y < y1, with op; an op outside QtzBlitOp does nothing. Strides in words.
void blitWithOp(uint32_t *dst, int64_t dstStride, const uint32_t *src, int64_t srcStride,
                int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t srcWidth, int64_t srcRows,
                int64_t x, int64_t y, QtzBlitOp op);

}  // namespace qtz

#endif
