// Wrapper layer of thresholding: grey images (depth 2, 4, 8) to 1-bit images against a
// range (pxlThresholdImage) or a per-pixel 8-bit map (pxlThresholdImageByMap).
//
// Range form: the kernel is chosen from the range (half = 2^(depth - 1), max = 2^depth - 1):
// the top-bit kernels where the range splits the values at half, one-bound kernels where
// it touches 0 or max (AtLeast t = 0 marks every pixel; low 0, high max outside marks none,
// which needs no kernel), range kernels otherwise; a 2-bit image takes only the top-bit
// kernels. low > high is refused (2) like a bound outside 0 .. max: the range kernels
// assume low <= high. The output is made or checked (pxlEnsureOutputImage) and its frame
// spill cleared; or, when the destination is the source, the 1-bit rows are written over
// the grey ones from the start of the same block, top row first (each 1-bit row lies wholly
// before the grey row it comes from), everything outside the new content is cleared, and
// the block shrinks. Once the 1-bit rows are written the image stays a valid 1-bit image
// even if the shrink fails. Every failure is reported once; an output made by a failing
// call is destroyed.
#include <cstring>
#include <initializer_list>

#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_pixr_internal.h"
#include "pxl_threshold.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "thrshold";

enum class Kind { kMsb, kNotMsb, kAtLeast, kBelow, kInRange, kOutOfRange, kNone };

struct Choice {
  Kind kind;
  int32_t first = 0;  // t, or low
  int32_t high = 0;
};

Choice choose(int32_t depth, int32_t low, int32_t high, bool inside) {
  const int32_t half = 1 << (depth - 1), max = (1 << depth) - 1;
  if (low == half && high == max) return {inside ? Kind::kMsb : Kind::kNotMsb};
  if (low == 0 && high == half - 1) return {inside ? Kind::kNotMsb : Kind::kMsb};
  if (low == 0) {
    if (high == max) return inside ? Choice{Kind::kAtLeast, 0} : Choice{Kind::kNone};
    return {inside ? Kind::kBelow : Kind::kAtLeast, high + 1};
  }
  if (high == max) return {inside ? Kind::kAtLeast : Kind::kBelow, low};
  return {inside ? Kind::kInRange : Kind::kOutOfRange, low, high};
}

bool takes(int32_t depth, Kind kind) {
  return depth != 2 || kind == Kind::kMsb || kind == Kind::kNotMsb || kind == Kind::kNone;
}

using PlainKernel = int32_t (*)(PxlContext *, const uint8_t *, int32_t, int32_t, int32_t, uint8_t *,
                                int32_t, PxlGatherTables);
using BoundKernel = int32_t (*)(PxlContext *, const uint8_t *, int32_t, int32_t, int32_t, int32_t,
                                uint8_t *, int32_t, PxlGatherTables);
using RangeKernel = int32_t (*)(PxlContext *, const uint8_t *, int32_t, int32_t, int32_t, int32_t,
                                int32_t, uint8_t *, int32_t, PxlGatherTables);

template <typename K>
K byDepth(int32_t depth, K k8, K k4, K k2) {
  return depth == 8 ? k8 : depth == 4 ? k4 : k2;
}

// Runs the chosen kernel over a framed source of width x height into a framed destination.
int32_t runChoice(PxlContext *ctx, const Choice &c, int32_t depth, const uint8_t *src,
                  int32_t width, int32_t height, int32_t srcBpr, uint8_t *dst, int32_t dstBpr) {
  const int32_t fw = width + 64, fh = height + 64;
  switch (c.kind) {
    case Kind::kMsb:
      return byDepth<PlainKernel>(depth, pxlThresholdRowsMsb8, pxlThresholdRowsMsb4,
                                  pxlThresholdRowsMsb2)(ctx, src, fw, fh, srcBpr, dst, dstBpr,
                                                        nullptr);
    case Kind::kNotMsb:
      return byDepth<PlainKernel>(depth, pxlThresholdRowsNotMsb8, pxlThresholdRowsNotMsb4,
                                  pxlThresholdRowsNotMsb2)(ctx, src, fw, fh, srcBpr, dst, dstBpr,
                                                           nullptr);
    case Kind::kAtLeast:
      return byDepth<BoundKernel>(depth, pxlThresholdRowsAtLeast8, pxlThresholdRowsAtLeast4,
                                  nullptr)(ctx, src, fw, fh, srcBpr, c.first, dst, dstBpr, nullptr);
    case Kind::kBelow:
      return byDepth<BoundKernel>(depth, pxlThresholdRowsBelow8, pxlThresholdRowsBelow4, nullptr)(
          ctx, src, fw, fh, srcBpr, c.first, dst, dstBpr, nullptr);
    case Kind::kInRange:
      return byDepth<RangeKernel>(depth, pxlThresholdRowsInRange8, pxlThresholdRowsInRange4,
                                  nullptr)(ctx, src, fw, fh, srcBpr, c.first, c.high, dst, dstBpr,
                                           nullptr);
    case Kind::kOutOfRange:
      return byDepth<RangeKernel>(depth, pxlThresholdRowsOutOfRange8, pxlThresholdRowsOutOfRange4,
                                  nullptr)(ctx, src, fw, fh, srcBpr, c.first, c.high, dst, dstBpr,
                                           nullptr);
    case Kind::kNone:
      for (int32_t y = 0; y < height; ++y)
        std::memset(dst + (int64_t{32} + y) * dstBpr + 4, 0, 4 * ((size_t(width) + 31) / 32));
      return 0;
  }
  return PXL_ERR_INTERNAL;
}

// Clears every byte of a framed 1-bit buffer outside the content words (frame strips and
// row padding), leaving the content words as they are.
void clearOutsideContent(uint8_t *framed, int32_t width, int32_t height, int32_t bytesPerRow) {
  const size_t rowBytes = size_t(bytesPerRow), contentEnd = 4 + 4 * ((size_t(width) + 31) / 32);
  std::memset(framed, 0, 32 * rowBytes);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t *row = framed + (int64_t{32} + y) * bytesPerRow;
    std::memset(row, 0, 4);
    std::memset(row + contentEnd, 0, rowBytes - contentEnd);
  }
  std::memset(framed + (int64_t{32} + height) * bytesPerRow, 0, 32 * rowBytes);
}

// The 1-bit layout of an image whose depth was just set to 1: stride and the framed start
// within its current block.
int32_t layout1(PxlContext *ctx, Pixr *image, int32_t *bytesPerRow, uint8_t **framed) {
  void *block = nullptr;
  int64_t offset = 0;
  int32_t s = pxlPollProgress(ctx);
  if (s == 0) s = pxlComputeImageBytesPerRow(ctx, image, bytesPerRow);
  if (s == 0) s = pxlPollProgress(ctx);
  if (s == 0) s = pxlGetImagePixelBlock(ctx, image, &block);
  if (s == 0) s = pxlPollProgress(ctx);
  if (s == 0) s = pxlComputeContentOffset(ctx, block, *bytesPerRow, 1, 32, &offset);
  if (s == 0) *framed = static_cast<uint8_t *>(block) + offset - 4 - int64_t{32} * *bytesPerRow;
  return s;
}

// Converts the image in place: descriptor to depth 1, rows rewritten, frame cleared, block
// shrunk. The descriptor's fields are restored or completed directly rather than through
// the setters, whose progress poll could stop the call half-way between the two layouts.
int32_t thresholdInPlace(PxlContext *ctx, Pixr *image, const pxl::xfer::Plane &grey,
                         const Choice &c) {
  PXL_STEP(ctx, kUnit, pxlSetImageDepth(ctx, image, 1));
  int32_t bpr = 0;
  uint8_t *framed = nullptr;
  int32_t status = layout1(ctx, image, &bpr, &framed);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0)
    status = runChoice(ctx, c, grey.depth, grey.framed, grey.width, grey.height, grey.bytesPerRow,
                       framed, bpr);
  if (status != 0) {  // nothing written yet: still the grey image
    image->depth = grey.depth;
    return PXL_FAIL(ctx, kUnit, status);
  }
  // The rows are 1-bit now: describe them so before anything else can fail.
  image->bytesPerRow = bpr;
  image->framedData = framed;
  clearOutsideContent(framed, grey.width, grey.height, bpr);
  // The re-allocation moves the rows too if the new block shifts the content start.
  PXL_STEP(ctx, kUnit, pxlReallocImageBlock(ctx, image));
  return 0;
}

}  // namespace

extern "C" {

int32_t pxlThresholdImage(PxlContext *ctx, Pixr *src, int32_t low, int32_t high, int32_t selector,
                          Pixr **dst) {
  if (src == nullptr || dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, src, PXL_ACCEPT_ORDER_0,
                            PXL_ACCEPT_DEPTH_2 | PXL_ACCEPT_DEPTH_4 | PXL_ACCEPT_DEPTH_8,
                            PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32));
  pxl::xfer::Plane grey;
  int32_t xres = 0, yres = 0;
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, src, 0, nullptr, &grey));
  PXL_STEP(ctx, kUnit, pxlGetImageResolution(ctx, src, &xres, &yres));
  const int32_t max = (1 << grey.depth) - 1;
  if (low < 0 || low > max || high < 0 || high > max || low > high ||
      (selector != PXL_RANGE_INSIDE && selector != PXL_RANGE_OUTSIDE))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  const Choice c = choose(grey.depth, low, high, selector == PXL_RANGE_INSIDE);
  if (!takes(grey.depth, c.kind)) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);

  if (*dst == src) return thresholdInPlace(ctx, src, grey, c);
  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_STEP(ctx, kUnit,
           pxlEnsureOutputImage(ctx, grey.width, grey.height, 1, xres, yres, 32, dst, &shortX,
                                &shortY, &created));
  auto fill = [&]() -> int32_t {
    pxl::xfer::Plane out;
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, *dst, 0, nullptr, &out));
    PXL_STEP(ctx, kUnit,
             runChoice(ctx, c, grey.depth, grey.framed, grey.width, grey.height, grey.bytesPerRow,
                       out.framed, out.bytesPerRow));
    PXL_STEP(ctx, kUnit, pxlClearFrameSpill(ctx, *dst, shortX, shortY));
    return 0;
  };
  const int32_t status = fill();
  if (status != 0 && created != 0) pxlDestroyImage(ctx, dst);
  return status;
}

int32_t pxlThresholdImageByMap(PxlContext *ctx, Pixr *src, Pixr *map, int32_t selector,
                               Pixr **dst) {
  if (src == nullptr || map == nullptr || dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  for (Pixr *image : {src, map})
    PXL_STEP(ctx, kUnit,
             pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_ANY, PXL_ACCEPT_DEPTH_8,
                              PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32));
  pxl::xfer::Plane s, m;
  int32_t xres = 0, yres = 0;
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, src, 0, nullptr, &s));
  PXL_STEP(ctx, kUnit, pxlGetImageResolution(ctx, src, &xres, &yres));
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, map, 0, nullptr, &m));
  if (int64_t{m.width} > int64_t{s.width} + 32 || int64_t{m.height} > int64_t{s.height} + 32)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_SIZE_MISMATCH);
  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_STEP(ctx, kUnit,
           pxlEnsureOutputImage(ctx, s.width, s.height, 1, xres, yres, 32, dst, &shortX, &shortY,
                                &created));
  auto fill = [&]() -> int32_t {
    pxl::xfer::Plane out;
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, *dst, 0, nullptr, &out));
    PXL_STEP(
        ctx, kUnit,
        pxlThresholdRowsByMap8(ctx, s.framed, s.width + 64, s.height + 64, s.bytesPerRow, m.framed,
                               m.width + 64, m.height + 64, m.bytesPerRow,
                               selector != PXL_RANGE_INSIDE, out.framed, out.bytesPerRow, nullptr));
    PXL_STEP(ctx, kUnit, pxlClearFrameSpill(ctx, *dst, shortX, shortY));
    return 0;
  };
  const int32_t status = fill();
  if (status != 0 && created != 0) pxlDestroyImage(ctx, dst);
  return status;
}

}  // extern "C"
