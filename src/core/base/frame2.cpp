// Framing an unframed image in place: its pixel block is first grown to the framed layout
// (a resize keeps the rows), then the rows are moved, from the last to the first, to their
// places inside a 32-pixel frame, and the frame strips are cleared. The framed data lies
// where the layout rule puts it for the new stride, so the block can be resized again later.
#include <cstring>

#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_transfer.h"

namespace {
constexpr const char *kUnit = "frame2";
}

extern "C" {

int32_t pxlFrameImageInPlace(PxlContext *ctx, Pixr *image) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1_TO_8,
                                    PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_0);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  pxl::xfer::Plane p;
  void *block = nullptr;
  int32_t framedStride = 0;
  int64_t blockSize = 0;
  status = pxl::xfer::readPlane(ctx, image, 0, nullptr, &p);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0) status = pxlGetImagePixelBlock(ctx, image, &block);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0)
    status = pxlComputeImageLayout(ctx, p.width, p.height, p.depth, 32, &framedStride, &blockSize);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  const int64_t oldOffset = p.framed - static_cast<uint8_t *>(block);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = pxlAllocImageBlock(ctx, p.width, p.height, p.depth, 32, PXL_BLOCK_RESIZE, &block);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  // The resize may have moved the block: the image takes the new one at once (rows still at
  // their unframed place, and without a progress poll in between), so that no later failure
  // or abort leaves it holding the released block.
  uint8_t *framed = static_cast<uint8_t *>(block) + oldOffset;
  image->pixelBlock = block;
  image->framedData = framed;
  // The framed layout may start its rows 4 bytes further into the block than the unframed
  // one did (8-byte units keep content rows on 8-byte boundaries); the rows move there first.
  int64_t contentOffset = 0;
  status = pxlComputeContentOffset(ctx, block, framedStride, p.depth, 32, &contentOffset);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  const int64_t offset = contentOffset - int64_t{framedStride} * 32 - 4 * p.depth;
  if (offset != oldOffset) {
    framed = static_cast<uint8_t *>(block) + offset;
    std::memmove(framed, static_cast<uint8_t *>(block) + oldOffset,
                 static_cast<size_t>(p.bytesPerRow) * static_cast<size_t>(p.height));
    image->framedData = framed;
  }
  status = pxlPollProgress(ctx);
  if (status == 0)
    status = pxlFrameRowsInPlace(ctx, framed, p.width, p.height, p.depth, p.bytesPerRow);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0) status = pxlSetImageFrame(ctx, image, 32);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0) status = pxlSetImageBytesPerRow(ctx, image, framedStride);
  return status != 0 ? PXL_FAIL(ctx, kUnit, status) : PXL_OK;
}

}  // extern "C"
