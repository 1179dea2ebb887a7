// Workers of the grey resolution conversion: one channel of framed buffers (32-pixel frames)
// by 3/2, 2, 1/2 or 1/3, row by row through the row kernels.
//
// Each worker produces the converted source as far as the output reaches: the produced part
// is the smaller of the output's content and the converted size of the source's content,
// so no source row or column past the source's buffer is read whatever output is passed;
// output content beyond that part is cleared. The enlargements make the middle rows as
// vertical means of the widened rows around them; when the output is shorter than the
// converted size, the one widened row that a last mean needs but the output lacks is made
// in the output's first frame row below the content and cleared again after use.
// Failures: 8 for depths other than 4 and 8 or two different depths; 1 when the 4-bit
// interpolation table (built when the caller passes none) cannot be allocated.
#include <algorithm>
#include <cstring>

#include "pxl_depth.h"
#include "pxl_pixr_internal.h"
#include "pxl_resconv.h"

namespace {

// The content geometry of one worker call.
struct Planes {
  const uint8_t *src;
  int32_t srcStride, srcWidth, srcHeight;
  uint8_t *dst;
  int32_t dstStride, dstWidth, dstHeight;
  int32_t depth;

  const uint32_t *srcRow(int32_t y) const {
    return reinterpret_cast<const uint32_t *>(src + (32 + int64_t{y}) * srcStride + 4 * depth);
  }
  uint32_t *dstRow(int32_t y) const {
    return reinterpret_cast<uint32_t *>(dst + (32 + int64_t{y}) * dstStride + 4 * depth);
  }
  // Words of an output row of `width` pixels.
  int32_t words(int32_t width) const { return (width * depth + 31) / 32; }

  // Clears the output content outside the produced part [0, width) x [0, height), up to the
  // end of each row's last content word.
  void clearBeyond(int32_t width, int32_t height) const {
    const int32_t rowEnd = words(dstWidth) * 32 / depth;
    pxl::clearPixelRect(dst, dstStride, depth, 32 + width, 32, rowEnd - width, height);
    pxl::clearPixelRect(dst, dstStride, depth, 32, 32 + height, rowEnd, dstHeight - height);
  }
};

bool makePlanes(const uint8_t *src, int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride,
                int32_t srcDepth, uint8_t *dst, int32_t dstFullWidth, int32_t dstFullHeight,
                int32_t dstStride, int32_t dstDepth, Planes *p) {
  if ((srcDepth != 4 && srcDepth != 8) || dstDepth != srcDepth) return false;
  *p = {src,     srcStride, std::max(srcFullWidth - 64, 0), std::max(srcFullHeight - 64, 0),
        dst,     dstStride, std::max(dstFullWidth - 64, 0), std::max(dstFullHeight - 64, 0),
        srcDepth};
  return true;
}

using ReduceRow = void (*)(PxlContext *, uint32_t *, int32_t, const uint32_t *, int32_t);

int32_t reduce(PxlContext *ctx, const Planes &p, int32_t factor, ReduceRow row) {
  const int32_t width = std::min(p.dstWidth, p.srcWidth / factor);
  const int32_t height = width > 0 ? std::min(p.dstHeight, p.srcHeight / factor) : 0;
  for (int32_t y = 0; y < height; ++y)
    row(ctx, p.dstRow(y), width, p.srcRow(factor * y), p.srcStride);
  p.clearBeyond(width, height);
  return PXL_OK;
}

// The 4-bit interpolation table of an enlargement: the caller's, or one built for this call.
class InterpTable {
 public:
  using Builder = int32_t (*)(PxlContext *, uint32_t **, int32_t);
  InterpTable(PxlContext *ctx, const uint32_t *given, int32_t depth, Builder build)
      : ctx_(ctx), table_(given) {
    if (given != nullptr || depth != 4) return;
    status_ = build(ctx, &own_, depth);
    table_ = own_;
  }
  ~InterpTable() { pxl::freeRecord(ctx_, own_); }
  InterpTable(const InterpTable &) = delete;
  InterpTable &operator=(const InterpTable &) = delete;
  int32_t status() const { return status_; }
  const uint32_t *get() const { return table_; }

 private:
  PxlContext *ctx_;
  const uint32_t *table_;
  uint32_t *own_ = nullptr;
  int32_t status_ = PXL_OK;
};

void meanRow(PxlContext *ctx, const Planes &p, uint32_t *dst, const uint32_t *a, const uint32_t *b,
             int32_t width) {
  if (p.depth == 8)
    pxlRowMean8(ctx, dst, a, b, p.words(width));
  else
    pxlRowMean4(ctx, dst, a, b, p.words(width));
}

// Clears a widened row made below the output's content (see the top of the file).
void dropScratchRow(const Planes &p, int32_t y, int32_t width) {
  if (y >= p.dstHeight) std::memset(p.dstRow(y), 0, 4 * static_cast<size_t>(p.words(width)));
}

}  // namespace

extern "C" {

int32_t pxlReduceHalfRaw(PxlContext *ctx, const uint8_t *src, int32_t srcFullWidth,
                         int32_t srcFullHeight, int32_t srcStride, int32_t srcDepth, uint8_t *dst,
                         int32_t dstFullWidth, int32_t dstFullHeight, int32_t dstStride,
                         int32_t dstDepth) {
  Planes p;
  if (!makePlanes(src, srcFullWidth, srcFullHeight, srcStride, srcDepth, dst, dstFullWidth,
                  dstFullHeight, dstStride, dstDepth, &p))
    return PXL_ERR_DEPTH;
  return reduce(ctx, p, 2, p.depth == 8 ? pxlRowHalf8 : pxlRowHalf4);
}

int32_t pxlReduceThirdRaw(PxlContext *ctx, const uint8_t *src, int32_t srcFullWidth,
                          int32_t srcFullHeight, int32_t srcStride, int32_t srcDepth, uint8_t *dst,
                          int32_t dstFullWidth, int32_t dstFullHeight, int32_t dstStride,
                          int32_t dstDepth) {
  Planes p;
  if (!makePlanes(src, srcFullWidth, srcFullHeight, srcStride, srcDepth, dst, dstFullWidth,
                  dstFullHeight, dstStride, dstDepth, &p))
    return PXL_ERR_DEPTH;
  return reduce(ctx, p, 3, p.depth == 8 ? pxlRowThird8 : pxlRowThird4);
}

int32_t pxlEnlargeThreeHalvesRaw(PxlContext *ctx, const uint8_t *src, int32_t srcFullWidth,
                                 int32_t srcFullHeight, int32_t srcStride, int32_t srcDepth,
                                 uint8_t *dst, int32_t dstFullWidth, int32_t dstFullHeight,
                                 int32_t dstStride, int32_t dstDepth, const uint32_t *table) {
  Planes p;
  if (!makePlanes(src, srcFullWidth, srcFullHeight, srcStride, srcDepth, dst, dstFullWidth,
                  dstFullHeight, dstStride, dstDepth, &p))
    return PXL_ERR_DEPTH;
  const int32_t width = std::min<int64_t>(p.dstWidth, int64_t{p.srcWidth} * 3 / 2);
  const int32_t height =
      width > 0 ? std::min<int64_t>(p.dstHeight, int64_t{p.srcHeight} * 3 / 2) : 0;
  if (height > 0) {
    InterpTable interp(ctx, table, p.depth, pxlBuildInterp23Table);
    if (interp.status() != 0) return interp.status();
    auto widen = [&](int32_t srcY, uint32_t *out) {
      if (p.depth == 8)
        pxlRowThreeHalves8(ctx, out, width, p.srcRow(srcY), p.srcWidth);
      else
        pxlRowThreeHalves4(ctx, out, width, p.srcRow(srcY), p.srcWidth, interp.get());
    };
    // Source rows 2k and 2k + 1 give output rows 3k and 3k + 2; 3k + 1 is their mean.
    for (int32_t k = 0; 3 * k < height; ++k) {
      widen(2 * k, p.dstRow(3 * k));
      if (2 * k + 1 >= p.srcHeight || 3 * k + 1 >= height) continue;
      widen(2 * k + 1, p.dstRow(3 * k + 2));
      meanRow(ctx, p, p.dstRow(3 * k + 1), p.dstRow(3 * k), p.dstRow(3 * k + 2), width);
      dropScratchRow(p, 3 * k + 2, width);
    }
  }
  p.clearBeyond(width, height);
  return PXL_OK;
}

int32_t pxlEnlargeDoubleRaw(PxlContext *ctx, const uint8_t *src, int32_t srcFullWidth,
                            int32_t srcFullHeight, int32_t srcStride, int32_t srcDepth,
                            uint8_t *dst, int32_t dstFullWidth, int32_t dstFullHeight,
                            int32_t dstStride, int32_t dstDepth, const uint32_t *table) {
  Planes p;
  if (!makePlanes(src, srcFullWidth, srcFullHeight, srcStride, srcDepth, dst, dstFullWidth,
                  dstFullHeight, dstStride, dstDepth, &p))
    return PXL_ERR_DEPTH;
  const int32_t width = std::min<int64_t>(p.dstWidth, int64_t{p.srcWidth} * 2);
  const int32_t height = width > 0 ? std::min<int64_t>(p.dstHeight, int64_t{p.srcHeight} * 2) : 0;
  if (height > 0) {
    InterpTable interp(ctx, table, p.depth, pxlBuildInterp12Table);
    if (interp.status() != 0) return interp.status();
    auto widen = [&](int32_t srcY, uint32_t *out) {
      if (p.depth == 8)
        pxlRowDouble8(ctx, out, width, p.srcRow(srcY), p.srcWidth);
      else
        pxlRowDouble4(ctx, out, width, p.srcRow(srcY), p.srcWidth, interp.get());
    };
    // Source row r gives output row 2r; row 2r - 1 is the mean of rows 2r - 2 and 2r.
    widen(0, p.dstRow(0));
    for (int32_t r = 1; r < p.srcHeight && 2 * r - 1 < height; ++r) {
      widen(r, p.dstRow(2 * r));
      meanRow(ctx, p, p.dstRow(2 * r - 1), p.dstRow(2 * r - 2), p.dstRow(2 * r), width);
      dropScratchRow(p, 2 * r, width);
    }
    // The last output row repeats the one above it.
    const int32_t last = 2 * p.srcHeight - 1;
    if (last < height)
      std::memcpy(p.dstRow(last), p.dstRow(last - 1), 4 * static_cast<size_t>(p.words(width)));
  }
  p.clearBeyond(width, height);
  return PXL_OK;
}

}  // extern "C"
