// Emptiness test (pxlIsImageEmpty): the words that cover each content row are OR-ed together,
// last word first; the scan stops at the first row holding a set bit. Row tails are 0 by
// the core's convention, so whole words can be tested.
#include <cstring>

#include "i_xfer.h"
#include "pxl_pixops.h"
#include "pxl_pixr_internal.h"

namespace {

constexpr const char *kUnit = "intops1";

bool rowIsClear(const uint8_t *row, int64_t words) {
  uint32_t any = 0;
  for (int64_t i = words - 1; i >= 0; --i) any |= pxl::loadWord(row + 4 * i);
  return any == 0;
}

}  // namespace

extern "C" int32_t pxlIsImageEmpty(PxlContext *ctx, Pixr *image, int32_t *empty) {
  if (empty == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_ANY, PXL_ACCEPT_DEPTH_1_TO_8,
                            PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32));
  pxl::xfer::Plane p;
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, image, 0, nullptr, &p));
  const int64_t words = (int64_t{p.width} * p.depth + 31) / 32;
  const uint8_t *row = p.framed + int64_t{32} * p.bytesPerRow + 4 * p.depth;
  *empty = 1;
  for (int32_t y = 0; y < p.height; ++y, row += p.bytesPerRow)
    if (!rowIsClear(row, words)) {
      *empty = 0;
      break;
    }
  return 0;
}
