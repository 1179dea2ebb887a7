// Shared machinery of the threshold row kernels: the gather tables a kernel works with and
// the row pass that runs a packing worker over every content row of a framed buffer.
#ifndef PXL_I_THRESH_H
#define PXL_I_THRESH_H

#include <cstdint>

#include "pxl_context.h"
#include "pxl_pixr_internal.h"
#include "pxl_threshold.h"

namespace pxl::thresh {

using TableBuilder = int32_t (*)(PxlContext *ctx, uint32_t *tables[4]);

// The caller's gather tables, or a set built for the call and released with the object.
class GatherTables {
 public:
  GatherTables(PxlContext *ctx, PxlGatherTables given, TableBuilder build);
  ~GatherTables();
  GatherTables(const GatherTables &) = delete;
  GatherTables &operator=(const GatherTables &) = delete;
  int32_t status() const { return status_; }
  const uint32_t *const *get() const { return given_ != nullptr ? given_ : own_; }

 private:
  PxlContext *ctx_;
  PxlGatherTables given_;
  uint32_t *own_[4] = {};
  int32_t status_ = 0;
};

// One row of a framed buffer pair: n content pixels of srcDepth bits become n pixels of
// dstDepth bits. The offsets are those the packing workers take (byte offsets of the
// output's last word, of the last source group and of the source's last word); keep masks
// the output's last word to the row's pixels.
struct RowShape {
  int32_t dstLast;
  int32_t srcGroup;
  int32_t srcLast;
  uint32_t keep;
  int32_t srcSkip;  // bytes from a framed row's start to its content (32 pixels)
  int32_t dstSkip;

  RowShape(int32_t n, int32_t srcDepth, int32_t dstDepth) {
    const int64_t dstBits = int64_t{n} * dstDepth, srcBits = int64_t{n} * srcDepth;
    dstLast = static_cast<int32_t>((dstBits - 1) / 32 * 4);
    srcGroup = dstLast * (srcDepth / dstDepth);
    srcLast = static_cast<int32_t>((srcBits - 1) / 32 * 4);
    keep = maskUpTo(static_cast<int32_t>((dstBits - 1) % 32) + 1);
    srcSkip = 4 * srcDepth;
    dstSkip = 4 * dstDepth;
  }
};

// Runs pack(srcRow, dstRow, row index) over the rows content rows of framed buffers and
// clears the bits after each output row's last pixel.
template <typename Pack>
void packRows(const RowShape &shape, const uint8_t *src, int32_t srcBytesPerRow, uint8_t *dst,
              int32_t dstBytesPerRow, int32_t rows, Pack pack) {
  for (int32_t r = 0; r < rows; ++r) {
    const uint8_t *s = src + (int64_t{32} + r) * srcBytesPerRow + shape.srcSkip;
    uint8_t *d = dst + (int64_t{32} + r) * dstBytesPerRow + shape.dstSkip;
    pack(reinterpret_cast<const uint32_t *>(s), reinterpret_cast<uint32_t *>(d), r);
    uint8_t *last = d + shape.dstLast;
    storeWord(last, loadWord(last) & shape.keep);
  }
}

}  // namespace pxl::thresh

#endif
