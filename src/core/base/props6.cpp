// Inverting, extracting a rectangle, filling a rectangle and clearing an image.
//
// Inversion and extraction move whole rows through pxlRasterOpRaw (NOT source, copy); the
// in-place inversion and the fill work on the row words themselves: full words are written
// at once, and the partial words at either end of a span are masked so that pixels outside
// it (and the padding bits after a row's last pixel) keep their values. Rectangles are cut
// to the content before anything is written.
#include <algorithm>

#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "props6";

using pxl::xfer::Attrs;
using pxl::xfer::Plane;

// The n most significant bits of a word (n from 0 to 32).
constexpr uint32_t leftMask(int64_t n) {
  return n <= 0 ? 0u : n >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> n);
}

// Bits [first, end) of a word row: masked edge words get (word & ~m) | (value & m) or
// word ^ m; whole words in between get the value or their complement.
template <bool kInvert>
void writeSpan(uint32_t *row, int64_t first, int64_t end, uint32_t value) {
  int64_t w = first >> 5;
  const int64_t last = (end - 1) >> 5;
  auto apply = [&](uint32_t &word, uint32_t mask) {
    word = kInvert ? word ^ mask : (word & ~mask) | (value & mask);
  };
  uint32_t mask = ~leftMask(first & 31);
  if (w == last) {
    apply(row[w], mask & leftMask(end - (last << 5)));
    return;
  }
  apply(row[w++], mask);
  for (; w < last; ++w) row[w] = kInvert ? ~row[w] : value;
  apply(row[last], leftMask(end - (last << 5)));
}

// The pixel value repeated over a 32-bit word (depth 1: any non-zero value is 1).
uint32_t replicate(uint8_t value, int32_t depth) {
  const uint32_t max = (1u << depth) - 1u;
  const uint32_t v = depth == 1 ? (value != 0) : (value & max);
  return v * (0xFFFFFFFFu / max);
}

void fillPlane(const Plane &p, int32_t x, int32_t y, int32_t width, int32_t height,
               uint32_t pattern) {
  const int64_t first = int64_t{p.frame + x} * p.depth;
  const int64_t end = first + int64_t{width} * p.depth;
  for (int32_t r = 0; r < height; ++r) {
    auto *row = reinterpret_cast<uint32_t *>(p.framed + int64_t{p.frame + y + r} * p.bytesPerRow);
    writeSpan<false>(row, first, end, pattern);
  }
}

}  // namespace

extern "C" {

int32_t pxlInvertImageInPlace(PxlContext *ctx, Pixr *image) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_ANY,
                                    PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_ANY);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  Plane p;
  status = pxl::xfer::readPlane(ctx, image, 0, nullptr, &p);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  const int64_t first = int64_t{p.frame} * p.depth;
  const int64_t end = first + int64_t{p.width} * p.depth;
  if (end == first) return PXL_OK;
  for (int32_t r = 0; r < p.height; ++r) {
    auto *row = reinterpret_cast<uint32_t *>(p.framed + int64_t{p.frame + r} * p.bytesPerRow);
    writeSpan<true>(row, first, end, 0);
  }
  return PXL_OK;
}

int32_t pxlInvertImage(PxlContext *ctx, Pixr *src, Pixr **dst) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, src, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1_TO_8,
                                    PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  const bool inPlace = *dst == src;
  int32_t shortX = 0, shortY = 0, created = 0;
  if (!inPlace) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    status = pxlEnsureOutputImageLike(ctx, src, dst, &shortX, &shortY, &created);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  }
  int32_t channels = 0;
  pxlGetImageChannelCount(ctx, src, &channels);
  for (int32_t i = 0; i < channels && status == 0; ++i) {
    Pixr *srcChannel = nullptr;
    Plane s, d;
    status = pxl::xfer::readPlane(ctx, src, i, &srcChannel, &s);
    if (status == 0 && inPlace) {
      status = pxlPollProgress(ctx);
      if (status == 0) status = pxlInvertImageInPlace(ctx, srcChannel);
    } else if (status == 0) {
      status = pxl::xfer::readPlane(ctx, *dst, i, nullptr, &d);
      if (status == 0) status = pxlPollProgress(ctx);
      if (status == 0)
        status =
            pxl::xfer::rasterOpPlanes(ctx, d, 0, 0, d.width, d.height, PXL_ROP_NOT_S, &s, 0, 0);
    }
  }
  if (status == 0 && !inPlace) {
    status = pxlPollProgress(ctx);
    if (status == 0) status = pxlClearFrameSpill(ctx, *dst, shortX, shortY);
  }
  if (status != 0) {
    PXL_FAIL(ctx, kUnit, status);
    if (created) pxlDestroyImage(ctx, dst);
  }
  return status;
}

int32_t pxlExtractRect(PxlContext *ctx, Pixr *image, const PxlRect *rect, Pixr **out) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_ANY,
                                    PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*out != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  if (rect == nullptr) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    status = pxlCopyToFramedImage(ctx, image, out);
    return status != 0 ? PXL_FAIL(ctx, kUnit, status) : PXL_OK;
  }

  PxlRect *area = nullptr;
  uint8_t inside = 0;
  status = pxlPollProgress(ctx);
  if (status == 0) status = pxlIsRectInImage(ctx, image, rect, &inside);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0)
    status = inside ? pxlCopyRect(ctx, rect, &area) : pxlClipRectToImage(ctx, image, rect, &area);
  Attrs a;
  if (status == 0) status = pxl::xfer::readAttrs(ctx, image, &a);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0)
    status = pxlCreateMultiChannelImageNoClear(ctx, area->width, area->height, a.depth,
                                               a.xResolution, a.yResolution, 32, a.channels,
                                               a.colorCode, a.colorMap, out);
  if (status == 0 && area->width >= 1 && area->height >= 1) {
    status = pxlPollProgress(ctx);
    if (status == 0)
      status = pxlRasterOp(ctx, area->x, area->y, image, PXL_ROP_COPY, 0, 0, area->width,
                           area->height, *out);
  }
  pxlFreeRect(ctx, &area);
  if (status != 0) {
    PXL_FAIL(ctx, kUnit, status);
    pxlDestroyImage(ctx, out);
  }
  return status;
}

int32_t pxlFillRect(PxlContext *ctx, Pixr *image, const PxlRect *rect, const uint8_t *values) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1_TO_8,
                                    PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (values == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  Attrs a;
  status = pxl::xfer::readAttrs(ctx, image, &a);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  // The rectangle cut to the content (64-bit edges: x + width may exceed 32 bits).
  int64_t x0 = 0, y0 = 0, x1 = a.width, y1 = a.height;
  if (rect != nullptr) {
    x0 = std::max<int64_t>(rect->x, 0);
    y0 = std::max<int64_t>(rect->y, 0);
    x1 = std::min<int64_t>(int64_t{rect->x} + rect->width, a.width);
    y1 = std::min<int64_t>(int64_t{rect->y} + rect->height, a.height);
  }
  if (x1 <= x0 || y1 <= y0) return PXL_OK;
  for (int32_t i = 0; i < a.channels; ++i) {
    Plane p;
    status = pxl::xfer::readPlane(ctx, image, i, nullptr, &p);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
    fillPlane(p, static_cast<int32_t>(x0), static_cast<int32_t>(y0), static_cast<int32_t>(x1 - x0),
              static_cast<int32_t>(y1 - y0), replicate(values[i], p.depth));
  }
  return PXL_OK;
}

int32_t pxlClearImage(PxlContext *ctx, Pixr *image) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_ANY,
                                    PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  Attrs a;
  status = pxl::xfer::readAttrs(ctx, image, &a);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0)
    status = pxlRasterOp(ctx, 0, 0, nullptr, PXL_ROP_CLEAR, 0, 0, a.width, a.height, image);
  return status != 0 ? PXL_FAIL(ctx, kUnit, status) : PXL_OK;
}

}  // extern "C"
