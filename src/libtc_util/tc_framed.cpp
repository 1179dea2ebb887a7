// Framed page bitmaps: a 1-bit pixel block in the image core's layout (32 rows and columns of
// frame on every side, the core's row stride and content alignment), zeroed and wrapped whole
// as a packed image so that tokens can be inserted with the frame taking their spill.
#include "pxl_image.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tc_util_internal.h"

int32_t newFramedBitmap(QtzState *state, int32_t width, int32_t height, int32_t *bitOffset,
                        QtzImage **image) {
  *image = nullptr;
  PxlContext *ctx = state->ipwContext;
  if (ctx == nullptr) return qtz::report(state, 118);
  if (width <= 0 || height <= 0 || width > INT32_MAX - 64 || height > INT32_MAX - 64)
    return qtz::report(state, 2);
  int32_t bytesPerRow = 0;
  int64_t blockBytes = 0;
  int32_t status = pxlComputeImageLayout(ctx, width, height, 1, 32, &bytesPerRow, &blockBytes);
  if (status != 0) return status;
  qtz::OwnedBlock<uint8_t> block(state, static_cast<uint8_t *>(qtz::allocateZeroed(
                                            state, static_cast<size_t>(blockBytes), 1)));
  if (!block) return qtz::report(state, 1);
  int64_t offset = 0;
  if ((status = pxlComputeContentOffset(ctx, block.get(), bytesPerRow, 1, 32, &offset)) != 0)
    return status;
  status = QtzImage_wrap(state, reinterpret_cast<uint32_t *>(block.get()), width + 64, height + 64,
                         bytesPerRow / 4, image);
  if (status != 0) return status;
  block.release();
  *bitOffset = static_cast<int32_t>(8 * (offset - 32 * int64_t{bytesPerRow}) - 32);
  return 0;
}

void freeFramedBitmap(QtzState *state, QtzImage **image) {
  if (*image == nullptr) return;
  void *pixels = nullptr;
  QtzImage_unwrap(*image, &pixels);
  qtz::release(state, pixels);
  *image = nullptr;
}
