// Conversion between image-core images and PNM rasters. 1-bit and 8-bit rows go as whole bytes
// (pixel-order byte k of a content row is stored at k ^ 3), colour channels pixel by pixel.
#include "testkit_image.h"

namespace norvtest {

Pixr *imageFromPnm(PxlContext *ctx, const Pnm &pnm, int dpi) {
  if (!pnm.valid()) return nullptr;
  Pixr *image = nullptr;
  const int32_t resolution = dpi << 16;
  const int32_t status = pnm.kind == '6'
                             ? pxlCreateMultiChannelImage(ctx, pnm.width, pnm.height, 8, resolution,
                                                          resolution, 32, 3, 1, nullptr, &image)
                             : pxlCreateImage(ctx, pnm.width, pnm.height, pnm.depth(), resolution,
                                              resolution, 32, &image);
  if (status != 0) return nullptr;
  for (int y = 0; y < pnm.height; ++y) {
    const uint8_t *in = pnm.row(y);
    if (pnm.kind == '6') {
      for (int c = 0; c < 3; ++c)
        for (int x = 0; x < pnm.width; ++x) setPixel(image->channels[c], x, y, in[3 * x + c]);
      continue;
    }
    // Whole bytes in pixel order; a 1-bit row keeps no pixels past the width.
    uint8_t *row = rowOf(image, y) + image->frame * image->depth / 8;
    for (int k = 0; k < pnm.rowBytes(); ++k) pixelOrderByte(row, k) = in[k];
    if (pnm.kind == '4' && pnm.width % 8 != 0)
      pixelOrderByte(row, pnm.rowBytes() - 1) &= static_cast<uint8_t>(0xFF00 >> (pnm.width % 8));
  }
  return image;
}

Pnm pnmFromImage(Pixr *image, char kind) {
  Pixr *first = channel(image, 0);
  Pnm pnm;
  pnm.kind = kind;
  pnm.width = first->width;
  pnm.height = first->height;
  pnm.raster.assign(static_cast<size_t>(pnm.rowBytes()) * pnm.height, 0);
  for (int y = 0; y < pnm.height; ++y) {
    uint8_t *out = pnm.row(y);
    if (kind == '6') {
      for (int c = 0; c < 3; ++c)
        for (int x = 0; x < pnm.width; ++x)
          out[3 * x + c] = static_cast<uint8_t>(pixel(image->channels[c], x, y));
      continue;
    }
    // Whole bytes in pixel order, so the bits after a 1-bit row's last pixel come along.
    const uint8_t *row = rowOf(image, y) + image->frame * image->depth / 8;
    for (int k = 0; k < pnm.rowBytes(); ++k) out[k] = pixelOrderByte(row, k);
  }
  return pnm;
}

}  // namespace norvtest
