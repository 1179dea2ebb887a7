// General rasterop over framed word buffers (pxlRasterOpRaw): checks the depths, scales every
// horizontal quantity to bits, clips, computes the row plan once and hands it to the word
// kernel of the requested Boolean function.
//
// Clipping mode (op bit 0 clear) keeps the rectangle inside the destination content and, with
// a source, inside the source content: left and top first (a negative size then gives 2), right
// and bottom afterwards (an empty result changes nothing). No-clipping mode only keeps the
// destination start at or after the buffer's own top-left corner: the frame may be written and
// the caller guarantees that the rectangle fits the buffers.
//
// Results: 0 (also when nothing is left to do), 8 for a depth other than 1, 2, 4, 8, 16 or a
// source of another depth, 2 for a negative width or height after the left and top clipping.
// Nothing is reported and the context is not polled. All arithmetic on positions and sizes is
// 64-bit, so large coordinates scaled by the depth cannot overflow. Strides may be negative.
#include <algorithm>

#include "pxl_internal.h"
#include "pxl_rasterop.h"
#include "rast_plan.h"

namespace {

// Left mask of n: the n most significant bits; right mask of n: the n least significant bits
// (n = 0..32, so no shift by 32 is ever needed).
constexpr auto kLeftMask = [] {
  struct Table {
    uint32_t m[33];
  } t{};
  for (int n = 1; n <= 32; ++n) t.m[n] = t.m[n - 1] | (0x80000000u >> (n - 1));
  return t;
}();
constexpr auto kRightMask = [] {
  struct Table {
    uint32_t m[33];
  } t{};
  for (int n = 1; n <= 32; ++n) t.m[n] = (t.m[n - 1] << 1) | 1u;
  return t;
}();

// log2 of a supported depth, or -1.
int depthShift(int32_t depth) {
  switch (depth) {
    case 1:
      return 0;
    case 2:
      return 1;
    case 4:
      return 2;
    case 8:
      return 3;
    case 16:
      return 4;
    default:
      return -1;
  }
}

int64_t floorDiv32(int64_t v) {
  return v >> 5;
}
int32_t floorMod32(int64_t v) {
  return static_cast<int32_t>(v & 31);
}

// Moves a start position forward by the amount it lies before limit, shortening the size and
// moving the paired position by the same amount.
void clipStart(int64_t &pos, int64_t limit, int64_t &size, int64_t &paired) {
  if (pos >= limit) return;
  const int64_t excess = limit - pos;
  pos += excess;
  paired += excess;
  size -= excess;
}

}  // namespace

extern "C" int32_t pxlRasterOpRaw(PxlContext *ctx, void *dst, int32_t dstWidth, int32_t dstHeight,
                                  int32_t dstFrameX, int32_t dstFrameY, int32_t dx, int32_t dy,
                                  int32_t width, int32_t height, int32_t depth,
                                  int32_t dstBytesPerRow, PxlRopCode op, const void *src,
                                  int32_t srcWidth, int32_t srcHeight, int32_t sx, int32_t sy,
                                  int32_t srcFrameX, int32_t srcFrameY, int32_t srcDepth,
                                  int32_t srcBytesPerRow) {
  const int shift = depthShift(depth);
  if (shift < 0 || (src != nullptr && srcDepth != depth)) return PXL_ERR_DEPTH;
  const bool hasSource = src != nullptr;

  // Horizontal quantities in bits; vertical ones in rows.
  const int64_t dW = int64_t{dstWidth} << shift, fX = int64_t{dstFrameX} << shift;
  const int64_t sW = int64_t{srcWidth} << shift, sfX = int64_t{srcFrameX} << shift;
  int64_t x = int64_t{dx} << shift, w = int64_t{width} << shift, s = int64_t{sx} << shift;
  int64_t y = dy, h = height, t = sy;

  if ((op & PXL_ROP_NOCLIP) != 0) {
    // Only the buffer's top-left corner is respected: frame + position becomes at least 0.
    int64_t bx = fX + x, by = int64_t{dstFrameY} + y;
    clipStart(bx, 0, w, s);
    clipStart(by, 0, h, t);
    x = bx - fX;
    y = by - dstFrameY;
  } else {
    clipStart(x, 0, w, s);
    clipStart(y, 0, h, t);
    if (hasSource) {
      clipStart(s, 0, w, x);
      clipStart(t, 0, h, y);
    }
  }
  if (w == 0 || h == 0) return PXL_OK;
  if (w < 0 || h < 0) return PXL_ERR_PARAM;

  // Bits to the end of the first word. The source position includes its frame, so a frame
  // that is not a whole number of words still lines up with the source pointer below.
  const int32_t d = 32 - floorMod32(fX + x);
  const int32_t e = hasSource ? 32 - floorMod32(sfX + s) : d;

  PxlRopPlan plan{};
  plan.dstFirstBits = d;
  plan.srcFirstBits = e;
  if (d > e) {
    plan.leftShift = d - e;
    plan.rightShift = 32 - (d - e);
  } else if (d < e) {
    plan.rightShift = e - d;
    plan.leftShift = 32 - (e - d);
  } else {
    plan.leftShift = 0;
    plan.rightShift = 32;
  }

  if ((op & PXL_ROP_NOCLIP) == 0) {
    w = std::min(w, dW - x);
    h = std::min(h, int64_t{dstHeight} - y);
    if (hasSource) {
      w = std::min(w, sW - s);
      h = std::min(h, int64_t{srcHeight} - t);
    }
    if (w <= 0 || h <= 0) return PXL_OK;
  }

  plan.widthBits = w;
  plan.height = h;
  if (w >= d) {
    plan.dstFullWords = (w - d) / 32;
    plan.dstLastBits = static_cast<int32_t>((w - d) % 32);
    plan.firstMask = kRightMask.m[d];
    plan.lastMask = kLeftMask.m[plan.dstLastBits];
  } else {
    plan.firstMask = kRightMask.m[d] & ~kRightMask.m[d - w];
    plan.lastMask = plan.firstMask;
  }

  plan.dst = reinterpret_cast<uint32_t *>(
      static_cast<char *>(dst) + (y + dstFrameY) * dstBytesPerRow + 4 * floorDiv32(fX + x));
  plan.dstStride = dstBytesPerRow;
  if (hasSource) {
    plan.src = reinterpret_cast<const uint32_t *>(static_cast<const char *>(src) +
                                                  (t + srcFrameY) * srcBytesPerRow +
                                                  4 * floorDiv32(sfX + s));
    plan.srcStride = srcBytesPerRow;
    plan.srcExtraWords = ((w - e - 1) >> 5) + 1;
  } else {
    plan.constant = (static_cast<uint32_t>(op) >> 5) != 0 ? 0xFFFFFFFFu : 0u;
  }

  const pxl::rop::Kernels &kernels = pxl::rop::kernelsFor(op);
  const pxl::rop::Kernel kernel = !hasSource            ? kernels.constant
                                  : plan.leftShift != 0 ? kernels.shifted
                                                        : kernels.aligned;
  if (kernel != nullptr) kernel(ctx, &plan);
  return PXL_OK;
}
