// Image file utilities: little-endian field copies, the whole-image word byte swap that turns
// rows copied from big-endian-packed file bytes into the core's word layout, and row
// addressing with a bounds check.
#include <cstdio>
#include <cstring>

#include "pxl_dib.h"
#include "pxl_imagefile.h"
#include "pxl_internal.h"

namespace {

constexpr const char *kUnit = "ioutils";

int32_t swapChannel(PxlContext *ctx, Pixr *image) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_ANY, PXL_ACCEPT_DEPTH_ANY,
                                    PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_ANY);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  int32_t bytesPerRow = 0, channels = 0;
  pxlGetImageBytesPerRow(ctx, image, &bytesPerRow);
  pxlGetImageChannelCount(ctx, image, &channels);
  if (bytesPerRow % 4 != 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_BPL_NOT_4);
  if (channels == 1) {
    uint8_t *framed = nullptr;
    int32_t fullHeight = 0;
    pxlGetImageFramedData(ctx, image, &framed);
    pxlGetImageFullHeight(ctx, image, &fullHeight);
    return pxlSwapRowBytes(ctx, framed, bytesPerRow, fullHeight);
  }
  for (int32_t i = 0; i < channels; ++i) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    Pixr *channel = nullptr;
    status = pxlGetImageChannel(ctx, image, i, &channel);
    if (status == 0) status = swapChannel(ctx, channel);
    if (status != 0) return status;
  }
  return PXL_OK;
}

}  // namespace

extern "C" {

int32_t pxlCopyLe16(PxlContext *ctx, const void *source, uint16_t *destination) {
  if (source == nullptr || destination == nullptr) {
    if (ctx != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
    return PXL_ERR_NULL;
  }
  const auto *b = static_cast<const uint8_t *>(source);
  *destination = static_cast<uint16_t>(b[0] | b[1] << 8);
  return PXL_OK;
}

int32_t pxlCopyLe32(PxlContext *ctx, const void *source, uint32_t *destination) {
  if (source == nullptr || destination == nullptr) {
    if (ctx != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
    return PXL_ERR_NULL;
  }
  const auto *b = static_cast<const uint8_t *>(source);
  *destination = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                 static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
  return PXL_OK;
}

int32_t pxlCheckFileImageSize(PxlContext *ctx, int64_t width, int64_t height, int32_t depth) {
  if (width < 1 || height < 1 || width > PXL_MAX_FILE_IMAGE_SIDE ||
      height > PXL_MAX_FILE_IMAGE_SIDE)
    return PXL_ERR_NO_MEMORY;
  int32_t stride = 0;
  int64_t block = 0;
  if (pxlComputeFramedLayout(ctx, static_cast<int32_t>(width), static_cast<int32_t>(height), depth,
                             32, &stride, &block) != PXL_OK ||
      block > PXL_MAX_FILE_IMAGE_BLOCK)
    return PXL_ERR_NO_MEMORY;
  return PXL_OK;
}

int32_t pxlStreamHolds(FILE *file, int64_t bytes) {
  const long here = std::ftell(file);
  if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return 1;
  const long end = std::ftell(file);
  std::fseek(file, here, SEEK_SET);
  return end < 0 || end - here >= bytes;
}

int32_t pxlSwapImageBytes(PxlContext *ctx, Pixr *image) {
  return swapChannel(ctx, image);
}

int32_t pxlGetRowPointer(PxlContext *ctx, Pixr *image, int32_t row, uint8_t **address) {
  if (image == nullptr || address == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t height = 0;
  pxlGetImageHeight(ctx, image, &height);
  if (row < 0 || row >= height) return PXL_FAIL(ctx, kUnit, PXL_ERR_BOUNDS);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t bytesPerRow = 0;
  pxlGetImageBytesPerRow(ctx, image, &bytesPerRow);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  uint8_t *origin = nullptr;
  pxlGetImageData(ctx, image, &origin);
  if (origin == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_DATA);
  *address = origin + static_cast<int64_t>(row) * bytesPerRow;
  return PXL_OK;
}

}  // extern "C"
