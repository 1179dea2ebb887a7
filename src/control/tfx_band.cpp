// Bands: their limits, the part checks, and the shared end of the mask renders (cut, grey
// reduction, copy into the target).
//
// A mask band's decoded image is first cut to the part asked for, scaled up by the reduction
// (an image of exactly (part width x sx) x (part height x sy) pixels, white where the band
// holds none); at a reduction above 1 it is reduced to 4-bit grey by g = min(sx, sy) (2, 4 or 8;
// larger factors reduce by 8 and resample), widened to 8 bits and, when sx and sy differ from
// g, resampled bilinearly to the part's size. The result's rows go into the target's pixels,
// never more rows or columns than the target has.
#include "tfx_band.h"

#include <algorithm>
#include <cstring>

#include "jbig2_decoder.h"
#include "pxl_image.h"
#include "pxl_owners_internal.h"
#include "pxl_pixops.h"
#include "pxl_rescale.h"
#include "pxl_transfer.h"

namespace ctl {

bool bandBoxOf(LongPair position, LongPair size, BandBox *box) {
  if (position.x < 0 || position.y < 0 || position.x > kMaxBandPosition ||
      position.y > kMaxBandPosition)
    return false;
  if (size.x < 1 || size.y < 1 || size.x > kMaxBandSide || size.y > kMaxBandSide ||
      size.x * size.y > kMaxBandPixels)
    return false;
  *box = BandBox{static_cast<int32_t>(position.x), static_cast<int32_t>(position.y),
                 static_cast<int32_t>(size.x), static_cast<int32_t>(size.y)};
  return true;
}

bool pageSizeOk(LongPair size) {
  return size.x >= 1 && size.y >= 1 && size.x <= kMaxBandSide && size.y <= kMaxBandSide &&
         size.x * size.y <= kMaxPagePixels;
}

Jbig2TokenSet::~Jbig2TokenSet() {
  if (decoder != nullptr) QtzJbig2_freeDecoder(&decoder);
}

bool TfxBand::partOk(Rect r, Extent reduction) const {
  if (reduction.width < 1 || reduction.height < 1) return false;
  const int64_t w = (int64_t{box_.width} + reduction.width - 1) / reduction.width;
  const int64_t h = (int64_t{box_.height} + reduction.height - 1) / reduction.height;
  return r.left >= 0 && r.top >= 0 && r.width() > 0 && r.height() > 0 && r.right <= w &&
         r.bottom <= h;
}

bool TfxBand::cut(Rect r, Extent reduction) const {
  return r.width() < box_.width / reduction.width || r.height() < box_.height / reduction.height;
}

bool TfxSelectorBand::clearTarget(ImageAdapter *target) {
  PixlabImgBuf *t = target != nullptr ? target->asPixlab() : nullptr;
  if (t == nullptr || !t->valid()) return false;
  const int32_t depth = t->GetBitsPerPixel();
  const int64_t bytes = (int64_t{t->GetWidth()} * depth + 7) / 8;
  const int value = depth == 1 ? 0 : 0xFF;
  // Whole words, then the pixel-order bytes of a last part word (byte k of a row is stored at
  // k ^ 3 within its word).
  const size_t whole = static_cast<size_t>(bytes / 4) * 4;
  uint8_t *row = t->GetData();
  for (int32_t y = 0; y < t->GetHeight(); ++y, row += t->GetStride()) {
    std::memset(row, value, whole);
    for (int64_t k = static_cast<int64_t>(whole); k < bytes; ++k) row[k ^ 3] = uint8_t(value);
  }
  return true;
}

bool TfxSelectorBand::finish(PxlContext *ctx, Pixr *image, ImageAdapter *target, Rect r,
                             Extent reduction) {
  PixlabImgBuf *t = target != nullptr ? target->asPixlab() : nullptr;
  if (t == nullptr || !t->valid() || image == nullptr) return false;
  const int32_t sx = reduction.width, sy = reduction.height;
  const bool reduced = sx > 1 || sy > 1;
  if (sx < 1 || sy < 1 || t->GetBitsPerPixel() != (reduced ? 8 : 1)) return false;

  // The part at full size, white past the band's pixels.
  const int64_t w = int64_t{r.width()} * sx, h = int64_t{r.height()} * sy;
  if (w > kMaxBandSide || h > kMaxBandSide) return false;
  pxl::OwnedImage part(ctx);
  Pixr *source = image;
  if (r.left != 0 || r.top != 0 || w != image->width || h != image->height) {
    if (pxlCreateImage(ctx, static_cast<int32_t>(w), static_cast<int32_t>(h), 1, 100, 100, 32,
                       part.put()) != 0 ||
        pxlRasterOp(ctx, r.left * sx, r.top * sy, image, PXL_ROP_COPY, 0, 0,
                    static_cast<int32_t>(w), static_cast<int32_t>(h), part.get()) != 0)
      return false;
    source = part.get();
  }

  pxl::OwnedImage grey4(ctx), grey8(ctx), scaled(ctx);
  Pixr *result = source;
  if (reduced) {
    const int32_t g = std::min({sx, sy, 8});
    if (pxlReduceToGray4(ctx, source, g * 10, nullptr, grey4.put()) != 0 ||
        pxlConvert4To8(ctx, grey4.get(), grey8.put()) != 0)
      return false;
    result = grey8.get();
    if (sx != g || sy != g) {
      if (pxlRescaleImageBilinear(ctx, grey8.get(), r.width(), r.height(), scaled.put()) != 0)
        return false;
      result = scaled.get();
    }
  }
  const int32_t cols = std::min(result->width, t->GetWidth());
  const int32_t rows = std::min(result->height, t->GetHeight());
  return pxlCopyFramedRowsOut(ctx, result->framedData, cols + 64, rows + 64, result->depth,
                              result->bytesPerRow, t->GetData(), t->GetStride()) == 0;
}

}  // namespace ctl
