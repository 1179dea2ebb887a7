// Public entries of the PackBits encoder: size query, set-up and coding of image rows.
#include "packbits_state.h"
#include "pxl_internal.h"

namespace {
constexpr const char *kUnit = "packc";
}

extern "C" {

int32_t pxlGetPackBitsEncoderSize(PxlContext *ctx, int32_t width, int32_t depth, int32_t *size) {
  if (size == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlGetPackBitsEncoderStateSize(ctx, width + 64, depth, size);
  return status ? PXL_FAIL(ctx, kUnit, status) : status;
}

int32_t pxlInitPackBitsEncoder(PxlContext *ctx, PxlPackBitsEncoderState *state, int32_t width,
                               int32_t depth, int32_t size) {
  if (state == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlInitPackBitsEncoderState(ctx, state, width + 64, depth, size);
  return status ? PXL_FAIL(ctx, kUnit, status) : status;
}

int32_t pxlEncodePackBits(PxlContext *ctx, PxlPackBitsEncoderState *state, Pixr *image,
                          int32_t firstRow, int32_t rowCount, uint8_t *output, int32_t outputSize,
                          int32_t resumeLines, int32_t resumeBits, int32_t keepOffsets,
                          int32_t close, int32_t *done, int32_t *outputFull, int32_t *percent,
                          int32_t *written, int32_t *rowOffsets) {
  if (state == nullptr || image == nullptr || output == nullptr || done == nullptr ||
      outputFull == nullptr || percent == nullptr || written == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1_TO_8,
                                    PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  uint8_t *framed = nullptr;
  int32_t fullWidth = 0, bytesPerRow = 0, depth = 0, height = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  pxlGetImageFramedData(ctx, image, &framed);
  pxlGetImageFullWidth(ctx, image, &fullWidth);
  pxlGetImageBytesPerRow(ctx, image, &bytesPerRow);
  pxlGetImageDepth(ctx, image, &depth);
  pxlGetImageHeight(ctx, image, &height);
  if (firstRow < 0 || rowCount < 0 || int64_t{firstRow} + rowCount > height)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status =
      pxlEncodePackBitsLines(ctx, state, framed, fullWidth, firstRow + 32, rowCount, depth,
                             bytesPerRow, output, outputSize, resumeLines, resumeBits, keepOffsets,
                             close, done, outputFull, percent, written, rowOffsets);
  return status ? PXL_FAIL(ctx, kUnit, status) : status;
}

}  // extern "C"
