// Rotation by band-move shears: one shear into a larger image, the two- and three-shear
// rotations built from it, and the three-shear rotation of an image within its own size.
//
// A horizontal shear by s of a W x H image gives (W + trunc(|s| H + 0.9999)) x H: row y
// moves by round(s (y - H / 2)) pixels, and pixel W / 2 of the centre row lands on pixel
// Wo / 2 of the output (Wo its width); rows that move alike are copied as one band with
// the rasterop. A positive factor moves lower rows to the right. Offsets are kept within
// 0 .. (Wo - W), so no band loses a column at either end. A vertical shear moves bands of
// columns alike (positive: right columns down). Deeper than
// 1 bit, the output is set to all ones (white) before the bands are copied, so uncovered
// areas are white at every depth.
//
// Two shears (below 0.12 radian): vertical by sin(a), then horizontal by -sin(a): the map
// (x, y) -> ((1 - sin^2 a) x - sin(a) y, sin(a) x + y) turns by a but lacks the cosine of a
// rotation, so a point at distance r from the centre lands up to (1 - cos a) r from its
// true place (about 0.0072 r at 0.12 radian, 0.0003 r at 1.4 degrees); no two shears do
// better, as the second line's own factor stays 1. Amounts of tan(a) would turn by more
// than a and add (tan a - sin a) r. Three
// shears: horizontal by -tan(a/2), vertical by sin(a), horizontal by -tan(a/2). Both turn
// clockwise as displayed for positive angles. Between shears the progress is polled through
// the countdown and then the callback is called once directly. The rotation within the
// image's own size turns through the three-shear images and copies back the part whose
// centre pixel is the turned image's centre pixel, so it turns about (W / 2, H / 2).
//
// Sources are single-channel, framed, byte order 0, depth 1, 2, 4 or 8. Failures are
// reported once (unit "shearops"); intermediate images are destroyed on every path and
// *dst stays null.
#include <algorithm>
#include <cmath>

#include "i_direct_poll.h"
#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_rotate.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "shearops";
constexpr int32_t kHorizontal = 1, kVertical = 2;
constexpr double kMaxGrowth = 1 << 24;  // a shear may add at most this many rows or columns

int32_t validate(PxlContext *ctx, Pixr *image) {
  return pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1_TO_8,
                          PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32);
}

// Moves the bands of a shear from src into out (already white where no band lands): line y
// (a row for a horizontal shear, a column for a vertical one) goes to offset
// (across + room) / 2 - across / 2 + round(factor (y - length / 2)), kept within 0 .. room,
// so the source's centre lands on the output's centre; lines of one offset move as a band.
int32_t copyBands(PxlContext *ctx, Pixr *src, Pixr *out, bool horizontal, double factor,
                  int32_t length, int32_t across, int32_t room) {
  // length: rows (horizontal) or columns (vertical) walked; across: the other size; room:
  // the output's extra columns (rows).
  const int64_t centre = (int64_t{across} + room) / 2 - across / 2;
  auto offsetAt = [&](int64_t line) {
    const auto shift = static_cast<int64_t>(std::round(factor * double(line - length / 2)));
    return std::clamp<int64_t>(centre + shift, 0, int64_t{room});
  };
  int64_t start = 0;
  while (start < length) {
    const int64_t offset = offsetAt(start);
    int64_t end = start + 1;
    while (end < length && offsetAt(end) == offset) ++end;
    PXL_POLL_OR_RETURN(ctx, kUnit);
    const auto b = static_cast<int32_t>(start), n = static_cast<int32_t>(end - start);
    const auto o = static_cast<int32_t>(offset);
    const int32_t status = horizontal
                               ? pxlRasterOp(ctx, 0, b, src, PXL_ROP_COPY, o, b, across, n, out)
                               : pxlRasterOp(ctx, b, 0, src, PXL_ROP_COPY, b, o, n, across, out);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
    start = end;
  }
  return PXL_OK;
}

int32_t shear(PxlContext *ctx, Pixr *src, int32_t direction, float factor, Pixr **dst) {
  if (dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  *dst = nullptr;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = validate(ctx, src);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (direction != kHorizontal && direction != kVertical)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  const bool horizontal = direction == kHorizontal;
  const double a = std::fabs(double{factor});
  const int32_t length = horizontal ? src->height : src->width;
  if (!std::isfinite(a) || a * length > kMaxGrowth) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (factor == 0.0f) return pxlCopyToFramedImage(ctx, src, dst);
  const auto room = static_cast<int32_t>(a * length + 0.9999);
  const int32_t width = src->width + (horizontal ? room : 0);
  const int32_t height = src->height + (horizontal ? 0 : room);
  Pixr *out = nullptr;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status =
      pxlCreateImage(ctx, width, height, src->depth, src->xResolution, src->yResolution, 32, &out);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (src->depth != 1) {
    status = pxlPollProgress(ctx);
    if (status == 0)
      status = pxlRasterOp(ctx, 0, 0, nullptr, PXL_ROP_SET, 0, 0, width, height, out);
    if (status != 0) status = PXL_FAIL(ctx, kUnit, status);
  }
  if (status == 0)
    status = copyBands(ctx, src, out, horizontal, double{factor}, length,
                       horizontal ? src->width : src->height, room);
  if (status != 0) {
    pxlDestroyImage(ctx, &out);
    return status;
  }
  *dst = out;
  return PXL_OK;
}

// Polls through the countdown, then calls the callback once directly.
int32_t pollBetweenShears(PxlContext *ctx) {
  const int32_t status = pxlPollProgress(ctx);
  if (status != 0) return status;
  return pxl::abortRequested(ctx) ? PXL_ERR_ABORT : PXL_OK;
}

// Runs the shears in order from src, destroying each intermediate once used.
int32_t shearChain(PxlContext *ctx, Pixr *src, const int32_t *directions, const float *factors,
                   int32_t count, Pixr **dst) {
  if (dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  *dst = nullptr;
  Pixr *current = nullptr;
  for (int32_t i = 0; i < count; ++i) {
    Pixr *next = nullptr;
    int32_t status = i == 0 ? 0 : pollBetweenShears(ctx);
    if (status == 0)
      status = shear(ctx, current != nullptr ? current : src, directions[i], factors[i], &next);
    pxlDestroyImage(ctx, &current);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
    current = next;
  }
  *dst = current;
  return PXL_OK;
}

}  // namespace

extern "C" {

int32_t pxlShearImage(PxlContext *ctx, Pixr *src, int32_t direction, float factor, int32_t spare,
                      Pixr **dst) {
  return shear(ctx, src, direction, factor, dst);
}

int32_t pxlRotateByTwoShears(PxlContext *ctx, Pixr *src, float angle, int32_t spare, Pixr **dst) {
  const auto u = static_cast<float>(std::sin(double{angle}));
  const int32_t directions[] = {kVertical, kHorizontal};
  const float factors[] = {u, -u};
  return shearChain(ctx, src, directions, factors, 2, dst);
}

int32_t pxlRotateByThreeShears(PxlContext *ctx, Pixr *src, float angle, int32_t spare, Pixr **dst) {
  const auto t = static_cast<float>(std::tan(double{angle} / 2));
  const auto u = static_cast<float>(std::sin(double{angle}));
  const int32_t directions[] = {kHorizontal, kVertical, kHorizontal};
  const float factors[] = {-t, u, -t};
  return shearChain(ctx, src, directions, factors, 3, dst);
}

int32_t pxlRotateInPlace(PxlContext *ctx, float angle, Pixr *image) {
  if (image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  Pixr *turned = nullptr;
  int32_t status = pxlRotateByThreeShears(ctx, image, angle, 1, &turned);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  status = pxlPollProgress(ctx);
  if (status == 0)
    status = pxlRasterOp(ctx, turned->width / 2 - image->width / 2,
                         turned->height / 2 - image->height / 2, turned, PXL_ROP_COPY, 0, 0,
                         image->width, image->height, image);
  pxlDestroyImage(ctx, &turned);
  return status != 0 ? PXL_FAIL(ctx, kUnit, status) : PXL_OK;
}

}  // extern "C"
