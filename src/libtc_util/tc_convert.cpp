// Caller images (QtzImage records) as core images: 24-bit RGB into three 8-bit channels and
// packed bilevel rows copied word for word into a 1-bit image of 300 dpi, both with the
// 32-pixel frame, which (with every bit past a row's content) holds 0.
//
// Packed rows must be whole words wide enough for the image (a stride that is a multiple of 4
// and at least 4 x ceil(width / 32) bytes); other strides, other pixel types and images wider
// or taller than 32,767 pixels (token coordinates are 16-bit) give 2.
#include <cstdint>
#include <cstring>

#include "pxl_image.h"
#include "pxl_imagefile.h"
#include "pxl_owners_internal.h"
#include "qtz_internal.h"
#include "tc_util_internal.h"

namespace {

constexpr int32_t kMaxTokenSide = 32767;
constexpr int32_t kDpi300 = 0x12C0000;  // 300 dpi, 16.16

bool fitsTokens(const QtzImage *image) {
  return image->hdr.width > 0 && image->hdr.height > 0 && image->hdr.width <= kMaxTokenSide &&
         image->hdr.height <= kMaxTokenSide && image->rows != nullptr;
}

int32_t packedToPixr(QtzState *state, const QtzImage *image, Pixr **pixr) {
  const int32_t width = image->hdr.width, height = image->hdr.height;
  const int64_t words = (int64_t{width} + 31) / 32;
  const int64_t stride = image->hdr.bytesPerLine;
  if (stride % 4 != 0 || stride < 4 * words) return qtz::report(state, 2);
  PxlContext *ctx = state->ipwContext;
  pxl::OwnedImage out(ctx);
  int32_t status = pxlCreateImage(ctx, width, height, 1, kDpi300, kDpi300, 32, out.put());
  if (status != 0) return status;
  uint8_t *content = nullptr;
  int32_t bytesPerRow = 0;
  if ((status = pxlGetImageData(ctx, out.get(), &content)) != 0) return status;
  if ((status = pxlGetImageBytesPerRow(ctx, out.get(), &bytesPerRow)) != 0) return status;
  // Bits past the width stay out of the frame.
  const uint32_t lastMask = width % 32 == 0 ? ~0u : ~0u << (32 - width % 32);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t *from = image->rows[image->hdr.yoff + y];
    uint8_t *to = content + int64_t{y} * bytesPerRow;
    std::memcpy(to, from, static_cast<size_t>(4 * words));
    uint32_t last = 0;
    std::memcpy(&last, to + 4 * (words - 1), 4);
    last &= lastMask;
    std::memcpy(to + 4 * (words - 1), &last, 4);
  }
  *pixr = out.release();
  return 0;
}

}  // namespace

int32_t rgbToPixr(QtzState *state, const QtzImage *image, Pixr **pixr) {
  PxlContext *ctx = state->ipwContext;
  const int32_t width = image->hdr.width, height = image->hdr.height;
  pxl::OwnedImage out(ctx);
  // Cleared: the rows below fill the content only, and the frame and row tails must read 0.
  int32_t status =
      pxlCreateMultiChannelImage(ctx, width, height, 8, 0, 0, 32, 3, 1, nullptr, out.put());
  if (status != 0) return status;
  Pixr *channels[3] = {};
  for (int32_t c = 0; c < 3; ++c)
    if ((status = pxlGetImageChannel(ctx, out.get(), c, &channels[c])) != 0) return status;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t *planes[3] = {};
    for (int32_t c = 0; c < 3; ++c)
      if ((status = pxlGetRowPointer(ctx, channels[c], y, &planes[c])) != 0) return status;
    const uint8_t *from = image->rows[image->hdr.yoff + y] + 3 * int64_t{image->hdr.xoff};
    for (int32_t x = 0; x < width; ++x)
      for (int32_t c = 0; c < 3; ++c) planes[c][x] = from[3 * x + c];
  }
  if ((status = pxlSwapImageBytes(ctx, out.get())) != 0) return status;
  *pixr = out.release();
  return 0;
}

extern "C" int32_t tc_convertToPixr(QtzState *state, const QtzImage *image, Pixr **pixr) {
  if (state == nullptr) return 118;
  if (image == nullptr || pixr == nullptr) return qtz::report(state, 2);
  if (state->ipwContext == nullptr) return qtz::report(state, 118);
  if (!fitsTokens(image)) return qtz::report(state, 2);
  switch (image->hdr.type) {
    case QTZ_IMAGE_RGB:
      return rgbToPixr(state, image, pixr);
    case QTZ_IMAGE_PACKED:
      return packedToPixr(state, image, pixr);
    default:
      return qtz::report(state, 2);
  }
}
