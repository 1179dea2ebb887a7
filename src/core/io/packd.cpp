// Public entries of the PackBits decoder: size query, set-up and decoding into image rows.
#include "packbits_state.h"
#include "pxl_internal.h"

namespace {
constexpr const char *kUnit = "packd";
}

extern "C" {

int32_t pxlGetPackBitsDecoderSize(PxlContext *ctx, int32_t *size) {
  if (size == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  return pxlGetPackBitsDecoderStateSize(ctx, size);
}

int32_t pxlInitPackBitsDecoder(PxlContext *ctx, PxlPackBitsDecoderState *state, int32_t size) {
  if (state == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlInitPackBitsDecoderState(ctx, state, size);
  return status ? PXL_FAIL(ctx, kUnit, status) : status;
}

int32_t pxlDecodePackBits(PxlContext *ctx, PxlPackBitsDecoderState *state, int32_t firstRow,
                          int32_t rowCount, const uint8_t *input, int32_t inputLength,
                          int32_t resumeLines, int32_t resumeBits, int32_t final, Pixr *image,
                          int32_t *done, int32_t *usedUp, int32_t *percent, int32_t *consumed) {
  if (state == nullptr || image == nullptr || input == nullptr || done == nullptr ||
      usedUp == nullptr || percent == nullptr || consumed == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1_TO_8,
                                    PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_ANY);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  uint8_t *framed = nullptr;
  int32_t fullWidth = 0, bytesPerRow = 0, depth = 0, height = 0, frame = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  pxlGetImageFramedData(ctx, image, &framed);
  pxlGetImageFullWidth(ctx, image, &fullWidth);
  pxlGetImageBytesPerRow(ctx, image, &bytesPerRow);
  pxlGetImageDepth(ctx, image, &depth);
  pxlGetImageHeight(ctx, image, &height);
  pxlGetImageFrame(ctx, image, &frame);
  if (firstRow < 0 || rowCount < 0 || int64_t{firstRow} + rowCount > height)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = pxlDecodePackBitsLines(ctx, state, framed, fullWidth, frame, firstRow, rowCount, depth,
                                  bytesPerRow, input, inputLength, resumeLines, resumeBits, final,
                                  done, usedUp, percent, consumed);
  if (status != 0 && (status != PXL_ERR_OVERFLOW || final)) return PXL_FAIL(ctx, kUnit, status);
  return status;
}

}  // extern "C"
