// Pixel blocks of image descriptors: the layout rule, the content offset, allocation and
// re-allocation of blocks.
//
// A block holds the framed rows of the layout rule plus 4 spare bytes; with 8-byte units
// the content start moves by 4 bytes where that puts content rows on 8-byte boundaries.
// Sizes are 64-bit; sizes that do not fit give 2. Re-allocation resizes every channel's
// block to its stored geometry and installs the new block and framed data at once, so an
// abort can never leave a descriptor pointing at a block that has moved.
#include <algorithm>
#include <cstring>

#include "pxl_pixr_internal.h"

namespace {
constexpr const char *kUnit = "props3";

bool depthOk(int32_t depth) {
  return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16 || depth == 32;
}
}  // namespace

extern "C" {

int32_t pxlComputeImageLayout(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                              int32_t frame, int32_t *bytesPerRow, int64_t *blockSize) {
  if (bytesPerRow == nullptr || blockSize == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  const int32_t status =
      pxlComputeFramedLayout(ctx, width, height, depth, frame, bytesPerRow, blockSize);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  return PXL_OK;
}

int32_t pxlComputeContentOffset(PxlContext *ctx, const void *block, int32_t bytesPerRow,
                                int32_t depth, int32_t frame, int64_t *offset) {
  if (offset == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  pxlComputeContentOffsetRaw(ctx, block, bytesPerRow, depth, frame, offset);
  return PXL_OK;
}

int32_t pxlAllocImageBlock(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                           int32_t frame, int32_t mode, void **block) {
  if (block == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (mode != PXL_BLOCK_ALLOCATE && mode != PXL_BLOCK_ZEROED && mode != PXL_BLOCK_RESIZE)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (mode != PXL_BLOCK_RESIZE && *block != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  if (mode == PXL_BLOCK_RESIZE && *block == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if ((frame != 0 && frame != 32) || !depthOk(depth)) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  int32_t bytesPerRow = 0;
  int64_t size = 0;
  PXL_STEP(ctx, kUnit,
           pxlComputeImageLayout(ctx, width, height, depth, frame, &bytesPerRow, &size));
  const auto bytes = static_cast<size_t>(size);
  void *result = mode == PXL_BLOCK_ALLOCATE ? pxl::allocPixels(ctx, bytes)
                 : mode == PXL_BLOCK_ZEROED ? pxl::allocPixelsZeroed(ctx, bytes)
                                            : pxl::resizePixels(ctx, *block, bytes);
  if (result == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  *block = result;
  return PXL_OK;
}

int32_t pxlReallocImageBlock(PxlContext *ctx, Pixr *image) {
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_ANY, PXL_ACCEPT_DEPTH_ANY,
                            PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_ANY));
  int32_t width = 0, height = 0, depth = 0, frame = 0, bytesPerRow = 0, count = 0;
  PXL_STEP(ctx, kUnit, pxlGetImageWidth(ctx, image, &width));
  PXL_STEP(ctx, kUnit, pxlGetImageHeight(ctx, image, &height));
  PXL_STEP(ctx, kUnit, pxlGetImageDepth(ctx, image, &depth));
  PXL_STEP(ctx, kUnit, pxlGetImageFrame(ctx, image, &frame));
  PXL_STEP(ctx, kUnit, pxlGetImageBytesPerRow(ctx, image, &bytesPerRow));
  PXL_STEP(ctx, kUnit, pxlGetImageChannelCount(ctx, image, &count));
  int32_t stride = 0;
  int64_t blockSize = 0;
  PXL_STEP(ctx, kUnit,
           pxlComputeImageLayout(ctx, width, height, depth, frame, &stride, &blockSize));
  for (int32_t i = 0; i < count; ++i) {
    Pixr *channel = nullptr;
    void *block = nullptr;
    PXL_STEP(ctx, kUnit, pxlGetImageChannel(ctx, image, i, &channel));
    PXL_STEP(ctx, kUnit, pxlGetImagePixelBlock(ctx, channel, &block));
    const int64_t oldStart =
        static_cast<uint8_t *>(channel->framedData) - static_cast<uint8_t *>(block);
    PXL_STEP(ctx, kUnit,
             pxlAllocImageBlock(ctx, width, height, depth, frame, PXL_BLOCK_RESIZE, &block));
    int64_t offset = 0;
    pxlComputeContentOffsetRaw(ctx, block, bytesPerRow, depth, frame, &offset);
    auto *framed = static_cast<uint8_t *>(block) + offset -
                   static_cast<int64_t>(frame) * bytesPerRow - frame * depth / 8;
    // With 8-byte units the content start depends on the block's address: when the resize
    // moved the block to an address of other alignment, the rows move with it.
    const int64_t newStart = framed - static_cast<uint8_t *>(block);
    if (newStart != oldStart) {
      const int64_t length = std::min(static_cast<int64_t>(height + 2 * frame) * bytesPerRow,
                                      blockSize - std::max(oldStart, newStart));
      if (length > 0)
        std::memmove(framed, static_cast<uint8_t *>(block) + oldStart, static_cast<size_t>(length));
    }
    channel->pixelBlock = block;
    channel->framedData = framed;
    // Other descriptors sharing the block follow it to its new place.
    for (Pixr *other = channel->ringNext; other != nullptr && other != channel;
         other = other->ringNext) {
      other->pixelBlock = block;
      other->framedData = static_cast<uint8_t *>(block);
    }
  }
  return PXL_OK;
}

}  // extern "C"
